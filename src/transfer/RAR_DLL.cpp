#include "transfer/RAR_DLL.hpp"

#include "platform/Text.hpp"
#ifdef _WIN32
#include "platform/ImageServices.hpp"
#include "platform/Resources.hpp"
#include "transfer/BTMemoryModule.hpp"
#else
#include "platform/SharedLibrary.hpp"
#endif

namespace tarvos {

namespace {

template <class Function, class Lookup>
bool Bind(Function& slot, const char* name, const Lookup& find) {
    slot = reinterpret_cast<Function>(find(name));
    return slot != nullptr;
}

template <class Lookup>
bool BindAll(TRARDllFunctions& f, const Lookup& find) {
    return Bind(f.RAROpenArchive, "RAROpenArchive", find) && Bind(f.RAROpenArchiveEx, "RAROpenArchiveEx", find) &&
           Bind(f.RARCloseArchive, "RARCloseArchive", find) && Bind(f.RARReadHeader, "RARReadHeader", find) &&
           Bind(f.RARReadHeaderEx, "RARReadHeaderEx", find) && Bind(f.RARProcessFile, "RARProcessFile", find) &&
           Bind(f.RARSetCallback, "RARSetCallback", find) && Bind(f.RARSetChangeVolProc, "RARSetChangeVolProc", find) &&
           Bind(f.RARSetProcessDataProc, "RARSetProcessDataProc", find) &&
           Bind(f.RARSetPassword, "RARSetPassword", find) && Bind(f.RARGetDllVersion, "RARGetDllVersion", find);
}

}  // namespace

#ifdef _WIN32

struct TRARDll::Library {};

namespace {
// Mapped on first success and kept until the process ends, shared by every user: the
// launcher never unloads it, and its entry point is not run twice.
const TBTMemoryModule* ProcessUnrarImage() {
    static const TBTMemoryModule* image = nullptr;
    if (!image) {
        const std::span<const std::uint8_t> data = OwnResources().RawData("UNRARDLL");
        if (data.empty()) return nullptr;
        image = BTMemoryLoadLibary(data, BT_PROTECT_SECTIONS, true, SystemVirtualMemory(), SystemModules()).release();
    }
    return image;
}
}  // namespace

bool TRARDll::Load() {
    if (loaded_) return true;
    const TBTMemoryModule* image = ProcessUnrarImage();
    if (!image || !BindAll(f_, [image](const char* name) { return BTMemoryGetProcAddress(image, name); }))
        return false;
    loaded_ = true;
    return true;
}

TRARDll::~TRARDll() = default;

#else

struct TRARDll::Library {
    std::unique_ptr<SharedLibrary> library;
};

bool TRARDll::Load() {
    if (loaded_) return true;
    auto library = SharedLibrary::Open({"libunrar.so.5", "libunrar.so"});
    if (!library) return false;
    const SharedLibrary* l = library.get();
    if (!BindAll(f_, [l](const char* name) { return l->Find(name); })) return false;
    library_ = std::make_unique<Library>(Library{std::move(library)});
    loaded_ = true;
    return true;
}

TRARDll::~TRARDll() = default;

#endif

TRARDll::TRARDll() = default;

std::string LibraryDestinationText(const std::string& utf8) {
    const std::string host = PathToUtf8(PathFromUtf8(utf8));
#ifdef _WIN32
    const std::u16string wide = Utf8ToUtf16(host);
    if (wide.empty()) return {};
    const auto* w = reinterpret_cast<const wchar_t*>(wide.data());
    const int n = WideCharToMultiByte(CP_OEMCP, 0, w, static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string oem(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, w, static_cast<int>(wide.size()), oem.data(), n, nullptr, nullptr);
    return oem;
#else
    return Utf8ToAnsi(host);
#endif
}

}  // namespace tarvos
