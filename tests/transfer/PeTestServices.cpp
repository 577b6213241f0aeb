#include "transfer/PeTestServices.hpp"

#include <sys/mman.h>

namespace tarvos::testing {

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
    return static_cast<std::uint8_t*>(p);
}

bool MappedMemory::Commit(std::uint8_t* address, std::size_t size) {
    return mprotect(address, size, PROT_READ | PROT_WRITE) == 0;
}

bool MappedMemory::Decommit(std::uint8_t* address, std::size_t size) {
    return madvise(address, size, MADV_DONTNEED) == 0 && mprotect(address, size, PROT_NONE) == 0;
}

// Only recorded: the tests read the mapped image afterwards, and nothing runs from it.
bool MappedMemory::Protect(std::uint8_t*, std::size_t, PageProtection protection, bool) {
    protections.push_back(protection);
    return protectResult;
}

void MappedMemory::Release(std::uint8_t* base, std::size_t size) {
    munmap(base, size);
    ++releases;
}

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
