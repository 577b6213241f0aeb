#include <windows.h>

#include "platform/ImageServices.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

DWORD Win32Protection(PageProtection p) {
    switch (p) {
        case PageProtection::NoAccess: return PAGE_NOACCESS;
        case PageProtection::ReadOnly: return PAGE_READONLY;
        case PageProtection::ReadWrite: return PAGE_READWRITE;
        case PageProtection::WriteCopy: return PAGE_WRITECOPY;
        case PageProtection::Execute: return PAGE_EXECUTE;
        case PageProtection::ExecuteRead: return PAGE_EXECUTE_READ;
        case PageProtection::ExecuteReadWrite: return PAGE_EXECUTE_READWRITE;
        case PageProtection::ExecuteWriteCopy: return PAGE_EXECUTE_WRITECOPY;
    }
    return PAGE_NOACCESS;
}

class Win32Memory final : public VirtualMemoryService {
public:
    std::uint8_t* Reserve(std::uintptr_t address, std::size_t size, bool) override {
        return static_cast<std::uint8_t*>(
            VirtualAlloc(reinterpret_cast<void*>(address), size, MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    }
    // Executable until the sections get their own protection, as the image's code must run
    // even when the caller does not ask for section protection.
    bool Commit(std::uint8_t* address, std::size_t size) override {
        return VirtualAlloc(address, size, MEM_COMMIT, PAGE_EXECUTE_READWRITE) != nullptr;
    }
    bool Decommit(std::uint8_t* address, std::size_t size) override {
        return VirtualFree(address, size, MEM_DECOMMIT) != 0;
    }
    bool Protect(std::uint8_t* address, std::size_t size, PageProtection protection, bool noCache) override {
        DWORD old = 0;
        return VirtualProtect(address, size, Win32Protection(protection) | (noCache ? PAGE_NOCACHE : 0), &old) != 0;
    }
    void Release(std::uint8_t* base, std::size_t) override { VirtualFree(base, 0, MEM_RELEASE); }
};

using InitRoutine = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

class Win32Modules final : public ModuleService {
public:
    bool SupportsMachine(std::uint16_t machine) const override {
#ifdef _WIN64
        return machine == IMAGE_FILE_MACHINE_AMD64;
#else
        return machine == IMAGE_FILE_MACHINE_I386;
#endif
    }
    void* OpenModule(const std::string& name) override {
        std::u16string wide = Utf8ToUtf16(AnsiToUtf8(name));
        return LoadLibraryW(reinterpret_cast<LPCWSTR>(wide.c_str()));
    }
    void ReleaseModule(void* module) override { FreeLibrary(static_cast<HMODULE>(module)); }
    std::uintptr_t FindProc(void* module, const std::string& name) override {
        return reinterpret_cast<std::uintptr_t>(GetProcAddress(static_cast<HMODULE>(module), name.c_str()));
    }
    std::uintptr_t FindProcByOrdinal(void* module, std::uint16_t ordinal) override {
        return reinterpret_cast<std::uintptr_t>(
            GetProcAddress(static_cast<HMODULE>(module), reinterpret_cast<LPCSTR>(std::uintptr_t{ordinal})));
    }
    // Entry points and TLS callbacks share one calling convention; only the entry's result counts.
    bool CallInitRoutine(std::uintptr_t routine, std::uintptr_t base, std::uint32_t reason, bool isEntryPoint) override {
        const BOOL ok = reinterpret_cast<InitRoutine>(routine)(reinterpret_cast<HINSTANCE>(base), reason, nullptr);
        return !isEntryPoint || ok;
    }
#ifdef _WIN64
    bool AddFunctionTable(std::uintptr_t table, std::uint32_t count, std::uintptr_t base) override {
        return RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(table), count, base);
    }
    void DeleteFunctionTable(std::uintptr_t table) override {
        RtlDeleteFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(table));
    }
#else
    // 32-bit images unwind through their own registered frame tables.
    bool AddFunctionTable(std::uintptr_t, std::uint32_t, std::uintptr_t) override { return false; }
    void DeleteFunctionTable(std::uintptr_t) override {}
#endif
};

}  // namespace

VirtualMemoryService& SystemVirtualMemory() {
    static Win32Memory memory;
    return memory;
}

ModuleService& SystemModules() {
    static Win32Modules modules;
    return modules;
}


}  // namespace tarvos
