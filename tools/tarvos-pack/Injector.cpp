#include "Injector.hpp"

#include <bzlib.h>

#include <cstring>
#include <fstream>

#include "LauncherSlot.hpp"
#include "config/ConfigKey.hpp"
#include "config/uConfigData.hpp"
#include "platform/Error.hpp"
#include "platform/Resources.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos::pack {

Bytes PackForSlot(std::span<const std::uint8_t> package) {
    std::vector<char> source(package.begin(), package.end());
    auto capacity = static_cast<unsigned>(package.size() + package.size() / 100 + 600);
    std::vector<char> packed(capacity);
    int rc = BZ2_bzBuffToBuffCompress(packed.data(), &capacity, source.data(), static_cast<unsigned>(source.size()), 9, 0, 30);
    if (rc != BZ_OK) throw TarvosError("bzip2 compression failed: error " + std::to_string(rc));
    if (capacity > static_cast<unsigned>(kMaxPackedConfig))
        throw TarvosError("the package packs to " + std::to_string(capacity) + " bytes; the launcher's slot holds at most " +
                          std::to_string(kMaxPackedConfig));
    MemoryStream stream(std::vector<std::uint8_t>(packed.begin(), packed.begin() + capacity));
    auto key = ConfigKey();
    XorStream(stream, std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
    return stream.Bytes();
}

Bytes SlotBytes(std::span<const std::uint8_t> packed) {
    Bytes slot(kBlankSlotSize, 0);
    PutInt32Into(slot, static_cast<std::int32_t>(packed.size()));
    std::memcpy(slot.data() + 4, packed.data(), packed.size());
    return slot;
}

void InjectPackage(std::span<const std::uint8_t> package, const std::filesystem::path& launcher) {
    Bytes packed = PackForSlot(package);
    size_t at = FindSlot(ReadWholeFile(launcher));
    Bytes slot = SlotBytes(packed);
    std::fstream file(launcher, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) throw TarvosError("Cannot open file " + PathToUtf8(launcher) + " for writing");
    file.seekp(static_cast<std::streamoff>(at));
    file.write(reinterpret_cast<const char*>(slot.data()), static_cast<std::streamsize>(slot.size()));
    file.close();
    if (!file) throw TarvosError("Cannot write file " + PathToUtf8(launcher));
}

}  // namespace tarvos::pack
