#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What the in-memory library loader needs from the system: address space and modules.
// The loader's PE logic is portable; only these services differ between the real Windows
// process and the tests (which map images into plain memory and execute nothing).
namespace tarvos {

enum class PageProtection {
    NoAccess,
    ReadOnly,
    ReadWrite,
    WriteCopy,
    Execute,
    ExecuteRead,
    ExecuteReadWrite,
    ExecuteWriteCopy,
};

class VirtualMemoryService {
public:
    virtual ~VirtualMemoryService() = default;
    // Reserves size bytes exactly at address, or anywhere when address is 0; nullptr when
    // refused. below4GiB asks for a range a 32-bit image can be relocated into.
    virtual std::uint8_t* Reserve(std::uintptr_t address, std::size_t size, bool below4GiB) = 0;
    // Commits pages inside a reservation, zero-filled, readable, writable and executable.
    // Every call covers the whole pages its range touches.
    virtual bool Commit(std::uint8_t* address, std::size_t size) = 0;
    // Gives pages back; reading them afterwards faults.
    virtual bool Decommit(std::uint8_t* address, std::size_t size) = 0;
    // Refused when a page of the range is not committed.
    virtual bool Protect(std::uint8_t* address, std::size_t size, PageProtection protection,
                         bool noCache) = 0;
    virtual void Release(std::uint8_t* base, std::size_t size) = 0;
};

class ModuleService {
public:
    virtual ~ModuleService() = default;
    // Whether images for this PE machine type (0x14C i386, 0x8664 x86-64) can be loaded here.
    virtual bool SupportsMachine(std::uint16_t machine) const = 0;
    // Loads a library by its (ANSI) name; nullptr when it cannot be found.
    virtual void* OpenModule(const std::string& name) = 0;
    virtual void ReleaseModule(void* module) = 0;
    // The address of an exported function, 0 when missing.
    virtual std::uintptr_t FindProc(void* module, const std::string& name) = 0;
    virtual std::uintptr_t FindProcByOrdinal(void* module, std::uint16_t ordinal) = 0;
    // Runs an initialisation routine of a mapped image (its entry point or a TLS callback)
    // with the image base and a reason code; false when the routine refuses.
    virtual bool CallInitRoutine(std::uintptr_t routine, std::uintptr_t base, std::uint32_t reason,
                                 bool isEntryPoint) = 0;
    // Makes the unwind data of a 64-bit image known, so exceptions can pass through its code.
    virtual bool AddFunctionTable(std::uintptr_t table, std::uint32_t count, std::uintptr_t base) = 0;
    virtual void DeleteFunctionTable(std::uintptr_t table) = 0;
};

#ifdef _WIN32
// The process's own address space and system loader.
VirtualMemoryService& SystemVirtualMemory();
ModuleService& SystemModules();
#endif

}  // namespace tarvos
