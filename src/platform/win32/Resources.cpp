#include "platform/Resources.hpp"

#include <windows.h>

#include "platform/Text.hpp"

namespace tarvos {

namespace {
class ModuleResources : public Resources {
public:
    std::span<const std::uint8_t> RawData(const std::string& name) const override {
        std::u16string wide = Utf8ToUtf16(name);
        std::wstring wname(wide.begin(), wide.end());
        HRSRC info = FindResourceW(nullptr, wname.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
        if (!info) return {};
        HGLOBAL handle = LoadResource(nullptr, info);
        DWORD size = SizeofResource(nullptr, info);
        const void* data = handle ? LockResource(handle) : nullptr;
        if (!data) return {};
        return {static_cast<const std::uint8_t*>(data), size};
    }
};
}  // namespace

const Resources& OwnResources() {
    static const ModuleResources resources;
    return resources;
}

}  // namespace tarvos
