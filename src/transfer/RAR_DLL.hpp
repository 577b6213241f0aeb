#pragma once
// The UnRAR library's own interface header: from the installed package natively, from the
// source package the Windows DLL was built from otherwise. It is written against the
// Windows types, so on Windows it needs windows.h, and elsewhere its _UNIX stand-ins.
#ifdef _WIN32
#include <windows.h>
#elif !defined(_UNIX)
#define _UNIX
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"  // its visibility marks mean nothing to PE
#include <dll.hpp>
#pragma GCC diagnostic pop

#include <memory>
#include <string>

namespace tarvos {

// The eleven library functions, all resolved by name when the library is loaded.
struct TRARDllFunctions {
    decltype(&::RAROpenArchive) RAROpenArchive = nullptr;
    decltype(&::RAROpenArchiveEx) RAROpenArchiveEx = nullptr;
    decltype(&::RARCloseArchive) RARCloseArchive = nullptr;
    decltype(&::RARReadHeader) RARReadHeader = nullptr;
    decltype(&::RARReadHeaderEx) RARReadHeaderEx = nullptr;
    decltype(&::RARProcessFile) RARProcessFile = nullptr;
    decltype(&::RARSetCallback) RARSetCallback = nullptr;
    decltype(&::RARSetChangeVolProc) RARSetChangeVolProc = nullptr;
    decltype(&::RARSetProcessDataProc) RARSetProcessDataProc = nullptr;
    decltype(&::RARSetPassword) RARSetPassword = nullptr;
    decltype(&::RARGetDllVersion) RARGetDllVersion = nullptr;
};

// The byte strings the library reads for the destination of RARProcessFile. On Windows it
// takes those in the OEM code page (unlike archive names, which are ANSI) and converts them
// back, so an ANSI name outside ASCII would land under a garbled name.
std::string LibraryDestinationText(const std::string& utf8);

// The loaded library. On Windows it is the image carried in the program's resource
// "UNRARDLL", mapped from memory; elsewhere the system's UnRAR library.
class TRARDll {
public:
    TRARDll();
    ~TRARDll();
    TRARDll(const TRARDll&) = delete;
    TRARDll& operator=(const TRARDll&) = delete;

    // Loads the library once; false when it, or any of the eleven functions, is missing.
    bool Load();
    bool Loaded() const { return loaded_; }
    const TRARDllFunctions& Functions() const { return f_; }

private:
    struct Library;
    std::unique_ptr<Library> library_;
    TRARDllFunctions f_;
    bool loaded_ = false;
};

}  // namespace tarvos
