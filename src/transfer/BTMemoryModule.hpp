#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ImageServices.hpp"

// Maps a Windows library (PE32 or PE32+ image) that is held in memory and finds its
// exports, without the image ever touching the disk.
namespace tarvos {

constexpr unsigned BT_PROTECT_SECTIONS = 0x01;   // give sections their page protection
constexpr unsigned BT_DECOMMIT_DISCARDABLE = 0x10;

// A mapped image. Destroying it detaches the library (when it was attached), frees the
// libraries loaded for its imports and releases its memory.
class TBTMemoryModule {
public:
    TBTMemoryModule(VirtualMemoryService& memory, ModuleService& modules)
        : memory_(memory), modules_(modules) {}
    ~TBTMemoryModule();
    TBTMemoryModule(const TBTMemoryModule&) = delete;
    TBTMemoryModule& operator=(const TBTMemoryModule&) = delete;

    std::uint8_t* CodeBase() const { return codeBase_; }
    std::size_t ImageSize() const { return imageSize_; }
    bool Is64() const { return pe64_; }
    bool Attached() const { return attached_; }

private:
    friend class TBTImageMapper;
    friend std::uintptr_t BTMemoryGetProcAddress(const TBTMemoryModule* module, std::string_view name);

    VirtualMemoryService& memory_;
    ModuleService& modules_;
    std::uint8_t* codeBase_ = nullptr;
    std::size_t imageSize_ = 0;
    bool pe64_ = false;
    std::uint32_t exportRva_ = 0, exportSize_ = 0;  // as the headers gave them at load time
    // What each page of the image allows now (read, write, execute bits), as the loader
    // committed, protected or decommitted it. Every access to the image is checked against
    // it, so nothing taken from the image can lead the loader into memory that is not there.
    std::vector<std::uint8_t> pageAccess_;
    std::vector<void*> modulesLoaded_;
    std::uintptr_t entryPoint_ = 0;
    std::vector<std::uintptr_t> tlsCallbacks_;
    std::uintptr_t functionTable_ = 0;
    bool attached_ = false;
};

using PBTMemoryModule = std::unique_ptr<TBTMemoryModule>;

// Maps the image; none on failure, with the reason in BTMemoryLastError(). protect is a
// combination of BT_PROTECT_SECTIONS and BT_DECOMMIT_DISCARDABLE; callEntry runs the image's
// TLS callbacks and entry point with process-attach.
PBTMemoryModule BTMemoryLoadLibary(std::span<const std::uint8_t> image, unsigned protect,
                                   bool callEntry, VirtualMemoryService& memory,
                                   ModuleService& modules);

// The address of an exported function by its exact (case-sensitive) name; 0 on failure,
// with the reason in BTMemoryLastError().
std::uintptr_t BTMemoryGetProcAddress(const TBTMemoryModule* module, std::string_view name);

// Releases a mapped image (same as destroying it).
void BTMemoryFreeLibrary(PBTMemoryModule& module);

// The text left by the last failing loader step; one value shared by the process.
const std::string& BTMemoryLastError();

}  // namespace tarvos
