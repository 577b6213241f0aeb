#include <algorithm>
#include <cstring>
#include <fstream>

#include "config/ConfigKey.hpp"
#include "config/uConfigData.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"
#include "startup/tDebugFile.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos {

namespace {

// A copy for the operator's diagnosis; when it cannot be written the configuration is
// still loaded.
void SaveDiagnosticCopy(const MemoryStream& packed) {
    std::ofstream out(PathFromUtf8("config.pack"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(packed.Bytes().data()), static_cast<std::streamsize>(packed.Size()));
}

constexpr size_t kMaxReserve = 64u << 20;

// Appends the package; into an empty stream (the start-up case) by taking its bytes over.
void AppendPackage(MemoryStream& stream, MemoryStream& unpacked) {
    if (stream.Size() == 0 && stream.Position() == 0) {
        stream.Bytes().swap(unpacked.Bytes());
        stream.Seek(0, SeekOrigin::End);
        return;
    }
    stream.WriteBuffer(unpacked.Bytes().data(), unpacked.Bytes().size());
}

}  // namespace

void tConfigData::LoadConfig(MemoryStream& stream, const Resources& resources) {
    auto log = [this](const std::string& line) {
        if (debug_file) debug_file->WriteErr(line);
    };
    try {
        log("  try load config");
        auto slot = resources.RawData("blank");
        if (slot.size() < 4) return;
        std::int32_t length =
            static_cast<std::int32_t>(slot[0] | (slot[1] << 8) | (slot[2] << 16) | (static_cast<std::uint32_t>(slot[3]) << 24));
        log("  read config from memory.. config size: " + std::to_string(length));
        if (length < 0 || length > kMaxPackedConfig) return;
        if (slot.size() - 4 < static_cast<size_t>(length)) return;
        MemoryStream packed(std::vector<std::uint8_t>(slot.begin() + 4, slot.begin() + 4 + length));
        if (debug_file && debug_file->enabled) SaveDiagnosticCopy(packed);
        auto key = ConfigKey();
        XorStream(packed, std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
        packed.Seek(0, SeekOrigin::Begin);
        MemoryStream unpacked;
        // Room for the usual package up front: growing a vector of megabytes step by step
        // costs as much as a good part of the decompression itself.
        unpacked.Bytes().reserve(std::min<size_t>(packed.Bytes().size() * 8 + (1u << 20), kMaxReserve));
        BZDecompressStream(packed, unpacked);
        AppendPackage(stream, unpacked);
    } catch (const std::exception&) {
        // No usable configuration; the main window says so when it finds no background.
    }
}

bool tConfigData::ParseConfig(MemoryStream& stream) {
    std::string_view all = stream.View();
    auto start = static_cast<size_t>(std::min<std::int64_t>(stream.Position(), stream.Size()));
    stream.Seek(0, SeekOrigin::End);
    return ParseConfig(all.substr(start));
}

}  // namespace tarvos
