#include "SkinWriter.hpp"

#include <algorithm>

namespace tarvos::pack {

void PutInt32(Bytes& out, std::int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

void PutInt32Into(Bytes& out, std::int32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

void PutInt64(Bytes& out, std::int64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
}

void PutSized(Bytes& out, std::span<const std::uint8_t> bytes) {
    PutInt64(out, static_cast<std::int64_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void PutBlock(Bytes& out, std::uint8_t id, std::span<const std::uint8_t> body) {
    out.push_back(id);
    PutSized(out, body);
}

Bytes Section(std::int32_t version, std::int32_t count, std::span<const std::uint8_t> blocks) {
    Bytes out;
    PutInt32(out, version);
    PutInt32(out, count);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

Bytes TextBytes(std::string_view text) {
    bool hasBom = text.starts_with("\xEF\xBB\xBF") || text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
    bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string_view bom = (!hasBom && !ascii) ? "\xEF\xBB\xBF" : "";
    Bytes out(bom.size() + text.size());
    std::copy(bom.begin(), bom.end(), out.begin());
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(bom.size()));
    return out;
}

Bytes StringListBytes(const std::vector<std::string>& lines) {
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) joined += "\r\n";
        joined += lines[i];
    }
    return TextBytes(joined);
}

}  // namespace tarvos::pack
