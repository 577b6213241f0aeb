#include "transfer/PeTestServices.hpp"

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace tarvos::testing {

#ifdef _WIN32

// Under Windows the system's own memory service does the work, so its real rules apply;
// this only adds the counters and the refusals the tests ask for.
std::uint8_t* MappedMemory::Reserve(std::uintptr_t address, std::size_t size, bool below4GiB) {
    if (size > maxSize || (address != 0 && !grantPreferred)) return nullptr;
    VirtualMemoryService& system = SystemVirtualMemory();
    std::uint8_t* p = system.Reserve(address, size, below4GiB);
    // A 32-bit image in a 64-bit test process: look for room low in the address space.
    for (std::uint64_t at = 0x20000000; !p && address == 0 && below4GiB && at + size <= 0xF0000000;
         at += 0x01000000)
        p = system.Reserve(static_cast<std::uintptr_t>(at), size, true);
    if (p) ++reservations;
    return p;
}

bool MappedMemory::Commit(std::uint8_t* address, std::size_t size) {
    return SystemVirtualMemory().Commit(address, size);
}

bool MappedMemory::Decommit(std::uint8_t* address, std::size_t size) {
    return SystemVirtualMemory().Decommit(address, size);
}

bool MappedMemory::Protect(std::uint8_t* address, std::size_t size, PageProtection protection, bool noCache) {
    protections.push_back(protection);
    return protectResult && SystemVirtualMemory().Protect(address, size, protection, noCache);
}

void MappedMemory::Release(std::uint8_t* base, std::size_t size) {
    SystemVirtualMemory().Release(base, size);
    ++releases;
}

#else

namespace {

constexpr std::size_t kPage = 0x1000;

// Nothing runs from the image, so executable pages only need to be readable; an
// execute-only page cannot be read, as on Windows.
int PosixProtection(PageProtection p) {
    switch (p) {
        case PageProtection::ReadOnly:
        case PageProtection::ExecuteRead:
            return PROT_READ;
        case PageProtection::ReadWrite:
        case PageProtection::WriteCopy:
        case PageProtection::ExecuteReadWrite:
        case PageProtection::ExecuteWriteCopy:
            return PROT_READ | PROT_WRITE;
        case PageProtection::NoAccess:
        case PageProtection::Execute:
            return PROT_NONE;
    }
    return PROT_NONE;
}

}  // namespace

std::uint8_t* MappedMemory::Reserve(std::uintptr_t address, std::size_t size, bool below4GiB) {
    if (size > maxSize || (address != 0 && !grantPreferred)) return nullptr;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
#ifdef MAP_32BIT
    if (below4GiB) flags |= MAP_32BIT;
#endif
#ifdef MAP_FIXED_NOREPLACE
    if (address != 0) flags |= MAP_FIXED_NOREPLACE;
#endif
    void* p = mmap(reinterpret_cast<void*>(address), size, PROT_NONE, flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    if (address != 0 && reinterpret_cast<std::uintptr_t>(p) != address) {
        munmap(p, size);
        return nullptr;
    }
    ++reservations;
    auto* base = static_cast<std::uint8_t*>(p);
    reserved_[base] = Reservation{size, std::vector<bool>((size + kPage - 1) / kPage, false)};
    return base;
}

MappedMemory::Reservation* MappedMemory::Find(std::uint8_t* address, std::size_t size, std::size_t& first,
                                              std::size_t& end) {
    auto it = reserved_.upper_bound(address);
    if (it == reserved_.begin()) return nullptr;
    --it;
    const std::size_t offset = static_cast<std::size_t>(address - it->first);
    if (offset >= it->second.size || size > it->second.size - offset) return nullptr;
    first = offset / kPage;
    end = (offset + size + kPage - 1) / kPage;
    return &it->second;
}

// Whole pages, as the system rounds any range to the pages it touches.
bool MappedMemory::Commit(std::uint8_t* address, std::size_t size) {
    std::size_t first = 0, end = 0;
    Reservation* r = Find(address, size, first, end);
    if (!r) return false;
    std::uint8_t* base = address - reinterpret_cast<std::uintptr_t>(address) % kPage;
    if (mprotect(base, (end - first) * kPage, PROT_READ | PROT_WRITE) != 0) return false;
    for (std::size_t page = first; page < end; ++page) r->committed[page] = true;
    return true;
}

bool MappedMemory::Decommit(std::uint8_t* address, std::size_t size) {
    std::size_t first = 0, end = 0;
    Reservation* r = Find(address, size, first, end);
    if (!r) return false;
    std::uint8_t* base = address - reinterpret_cast<std::uintptr_t>(address) % kPage;
    if (madvise(base, (end - first) * kPage, MADV_DONTNEED) != 0 ||
        mprotect(base, (end - first) * kPage, PROT_NONE) != 0)
        return false;
    for (std::size_t page = first; page < end; ++page) r->committed[page] = false;
    return true;
}

bool MappedMemory::Protect(std::uint8_t* address, std::size_t size, PageProtection protection, bool) {
    protections.push_back(protection);
    if (!protectResult) return false;
    std::size_t first = 0, end = 0;
    Reservation* r = Find(address, size, first, end);
    if (!r) return false;
    for (std::size_t page = first; page < end; ++page)
        if (!r->committed[page]) return false;
    std::uint8_t* base = address - reinterpret_cast<std::uintptr_t>(address) % kPage;
    return mprotect(base, (end - first) * kPage, PosixProtection(protection)) == 0;
}

void MappedMemory::Release(std::uint8_t* base, std::size_t size) {
    reserved_.erase(base);
    munmap(base, size);
    ++releases;
}

#endif

void* FakeModules::OpenModule(const std::string& name) {
    if (missingLibraries.count(name)) return nullptr;
    loaded.push_back(name);
    return reinterpret_cast<void*>(loaded.size());
}

void FakeModules::ReleaseModule(void*) { ++freed; }

std::uintptr_t FakeModules::Resolve(void* module, const std::string& key) {
    const std::string full = loaded.at(reinterpret_cast<std::uintptr_t>(module) - 1) + key;
    auto it = resolved.find(full);
    if (it != resolved.end()) return it->second;
    // Distinct, recognisable values that fit a 32-bit import slot.
    const std::uintptr_t address = 0x7E000000 + 16 * resolved.size();
    resolved.emplace(full, address);
    return address;
}

std::uintptr_t FakeModules::FindProc(void* module, const std::string& name) {
    if (missingFunctions.count(name)) return 0;
    return Resolve(module, "!" + name);
}

std::uintptr_t FakeModules::FindProcByOrdinal(void* module, std::uint16_t ordinal) {
    return Resolve(module, "#" + std::to_string(ordinal));
}

bool FakeModules::CallInitRoutine(std::uintptr_t routine, std::uintptr_t base, std::uint32_t reason,
                                  bool isEntryPoint) {
    initCalls.push_back({routine, base, reason, isEntryPoint});
    return isEntryPoint ? entryResult : true;
}

bool FakeModules::AddFunctionTable(std::uintptr_t, std::uint32_t, std::uintptr_t) {
    ++functionTables;
    return true;
}

}  // namespace tarvos::testing
