#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ImageServices.hpp"

// Loader services for running the PE logic natively: images go into plain anonymous
// memory, imports resolve to made-up addresses, and nothing of the image is executed.
// The memory keeps the system's rules: reserved but uncommitted pages and pages whose
// protection forbids reading fault when read, and protecting an uncommitted page is refused.
// Under Windows it is the system's own memory.
namespace tarvos::testing {

class MappedMemory : public VirtualMemoryService {
public:
    // By default the preferred base is refused, so every image is relocated.
    bool grantPreferred = false;
    std::size_t maxSize = std::size_t{1} << 30;
    bool protectResult = true;
    int reservations = 0, releases = 0;
    std::vector<PageProtection> protections;  // every protection asked for, granted or not

    std::uint8_t* Reserve(std::uintptr_t address, std::size_t size, bool below4GiB) override;
    bool Commit(std::uint8_t* address, std::size_t size) override;
    bool Decommit(std::uint8_t* address, std::size_t size) override;
    bool Protect(std::uint8_t* address, std::size_t size, PageProtection protection, bool noCache) override;
    void Release(std::uint8_t* base, std::size_t size) override;

private:
#ifndef _WIN32
    struct Reservation {
        std::size_t size;
        std::vector<bool> committed;  // per page
    };
    // The reservation holding the pages of [address, address + size), and the page range.
    Reservation* Find(std::uint8_t* address, std::size_t size, std::size_t& first, std::size_t& end);
    std::map<std::uint8_t*, Reservation> reserved_;
#endif
};

struct InitCall {
    std::uintptr_t routine, base;
    std::uint32_t reason;
    bool isEntryPoint;
};

class FakeModules : public ModuleService {
public:
    std::set<std::string> missingLibraries;
    std::set<std::string> missingFunctions;
    bool entryResult = true;

    std::vector<std::string> loaded;
    int freed = 0;
    std::map<std::string, std::uintptr_t> resolved;  // "library!function" or "library#ordinal"
    std::vector<InitCall> initCalls;
    int functionTables = 0;

    bool SupportsMachine(std::uint16_t machine) const override { return machine == 0x14C || machine == 0x8664; }
    void* OpenModule(const std::string& name) override;
    void ReleaseModule(void* module) override;
    std::uintptr_t FindProc(void* module, const std::string& name) override;
    std::uintptr_t FindProcByOrdinal(void* module, std::uint16_t ordinal) override;
    bool CallInitRoutine(std::uintptr_t routine, std::uintptr_t base, std::uint32_t reason,
                         bool isEntryPoint) override;
    bool AddFunctionTable(std::uintptr_t, std::uint32_t, std::uintptr_t) override;
    void DeleteFunctionTable(std::uintptr_t) override { --functionTables; }

private:
    std::uintptr_t Resolve(void* module, const std::string& key);
};

}  // namespace tarvos::testing
