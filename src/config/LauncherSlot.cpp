#include "config/LauncherSlot.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "config/TarvosUpdateConfig.hpp"
#include "config/uConfigData.hpp"
#include "platform/Bitmap.hpp"
#include "platform/BlankSlot.hpp"
#include "platform/Error.hpp"
#include "platform/MemoryStream.hpp"
#include "platform/Resources.hpp"

namespace tarvos {

namespace {

constexpr std::uint32_t kRtRcdata = 10;

// Bounds-checked little-endian reads over the file; a structure that points outside the
// file makes the file "not a launcher" rather than a crash.
struct FileView {
    std::span<const std::uint8_t> d;
    std::uint32_t U32(size_t at) const {
        Need(at, 4);
        return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
    }
    std::uint16_t U16(size_t at) const {
        Need(at, 2);
        return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
    }
    void Need(size_t at, size_t n) const {
        if (at > d.size() || n > d.size() - at) throw TarvosError("not a launcher: damaged Windows executable");
    }
};

[[noreturn]] void NoSlot() {
    throw TarvosError("this launcher has no configuration slot (resource \"blank\" of " +
                      std::to_string(kBlankSlotSize) + " bytes)");
}

struct PeSections {
    FileView f;
    size_t table = 0;
    unsigned count = 0;
    size_t Offset(std::uint32_t rva) const {
        for (unsigned i = 0; i < count; ++i) {
            size_t s = table + i * 40;
            std::uint32_t va = f.U32(s + 12), size = std::max(f.U32(s + 8), f.U32(s + 16));
            if (rva >= va && rva - va < size) return f.U32(s + 20) + (rva - va);
        }
        throw TarvosError("not a launcher: resource outside every section");
    }
};

// The entry of a resource directory level whose id (or, when `name` is set, name) matches.
std::uint32_t FindEntry(const FileView& f, size_t root, size_t dir, std::uint32_t id, const char* name) {
    unsigned named = f.U16(dir + 12), ids = f.U16(dir + 14);
    for (unsigned i = 0; i < named + ids; ++i) {
        size_t e = dir + 16 + i * 8;
        std::uint32_t key = f.U32(e);
        bool match;
        if (name) {
            if (!(key & 0x80000000u)) continue;
            size_t s = root + (key & 0x7FFFFFFFu);
            unsigned len = f.U16(s);
            match = len == std::strlen(name);
            for (unsigned k = 0; match && k < len; ++k)
                match = std::tolower(f.U16(s + 2 + 2 * k)) == std::tolower(static_cast<unsigned char>(name[k]));
        } else {
            match = !(key & 0x80000000u) && key == id;
        }
        if (match) return f.U32(e + 4);
    }
    NoSlot();
}

size_t FindPeSlot(const FileView& f) {
    size_t pe = f.U32(0x3C);
    if (f.U32(pe) != 0x00004550) throw TarvosError("not a launcher: no PE header");
    size_t opt = pe + 24;
    std::uint16_t magic = f.U16(opt);
    if (magic != 0x10B && magic != 0x20B) throw TarvosError("not a launcher: unknown PE optional header");
    size_t dirs = opt + (magic == 0x10B ? 96 : 112);
    if (f.U32(opt + (magic == 0x10B ? 92 : 108)) < 3) NoSlot();
    std::uint32_t resRva = f.U32(dirs + 2 * 8);
    if (resRva == 0) NoSlot();
    PeSections sections{f, opt + f.U16(pe + 20), f.U16(pe + 6)};
    size_t root = sections.Offset(resRva);
    std::uint32_t type = FindEntry(f, root, root, kRtRcdata, nullptr);
    if (!(type & 0x80000000u)) NoSlot();
    std::uint32_t named = FindEntry(f, root, root + (type & 0x7FFFFFFFu), 0, "blank");
    if (!(named & 0x80000000u)) NoSlot();
    size_t langs = root + (named & 0x7FFFFFFFu);
    if (f.U16(langs + 12) + f.U16(langs + 14) == 0) NoSlot();
    std::uint32_t leaf = f.U32(langs + 16 + 4);
    if (leaf & 0x80000000u) NoSlot();
    size_t data = root + leaf;
    if (f.U32(data + 4) != kBlankSlotSize) NoSlot();
    size_t at = sections.Offset(f.U32(data));
    f.Need(at, kBlankSlotSize);
    return at;
}

size_t FindNativeSlot(std::span<const std::uint8_t> file) {
    std::string marker = std::string(kBlankMarkerHead) + kBlankMarkerTail;
    auto it = std::search(file.begin(), file.end(), marker.begin(), marker.end());
    if (it == file.end()) NoSlot();
    size_t at = static_cast<size_t>(it - file.begin()) + marker.size();
    if (std::search(it + 1, file.end(), marker.begin(), marker.end()) != file.end())
        throw TarvosError("not a launcher: more than one configuration slot marker");
    if (file.size() - at < kBlankSlotSize) NoSlot();
    return at;
}

}  // namespace

size_t FindSlot(std::span<const std::uint8_t> file) {
    if (file.size() >= 64 && file[0] == 'M' && file[1] == 'Z') return FindPeSlot(FileView{file});
    if (file.size() >= 4 && std::memcmp(file.data(), "\x7F" "ELF", 4) == 0) return FindNativeSlot(file);
    throw TarvosError("not a launcher: neither a Windows nor a native executable");
}

std::optional<std::vector<std::uint8_t>> PackageOfLauncher(std::span<const std::uint8_t> file) {
    const size_t at = FindSlot(file);
    MemoryResources resources("blank", file.subspan(at, kBlankSlotSize));
    tConfigData config;
    MemoryStream stream;
    config.LoadConfig(stream, resources);
    if (stream.Size() == 0) return std::nullopt;
    return stream.Bytes();
}

std::string PublicKeyOfLauncher(std::span<const std::uint8_t> file) {
    try {
        const auto package = PackageOfLauncher(file);
        if (!package) return {};
        // Read as the launcher reads its own package at start: both skins, then the text.
        MemoryStream stream(*package);
        PixelBudget budget(16LL * kBlankSlotSize);
        TtucConfig skin;
        skin.MainWindow.LoadFromStream(stream);
        skin.ConfigWindow.LoadFromStream(stream);
        tConfigData config;
        config.ParseConfig(stream);
        return config.UpdateServers.PublicKey;
    } catch (const std::exception&) {
        return {};  // not a launcher, or a damaged package: it carries no key
    }
}

}  // namespace tarvos
