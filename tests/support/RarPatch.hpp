#pragma once
#include <cstdint>
#include <string>

namespace tarvos::test {

// Renames an entry of a RAR5 archive in place to a name of the same length, with the header
// checksum made right again: how a hostile archive with names like "../../x" is made, since
// the rar program never stores such names. False when the archive holds no such entry.
inline bool RenameRar5Entry(std::string& archive, const std::string& from, const std::string& to) {
    if (from.size() != to.size() || archive.compare(0, 7, "Rar!\x1A\x07\x01") != 0) return false;
    auto crc32 = [](const char* p, size_t n) {
        uint32_t c = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i) {
            c ^= static_cast<unsigned char>(p[i]);
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    };
    auto vint = [&](size_t& pos) {
        uint64_t v = 0;
        for (int shift = 0; pos < archive.size() && shift < 64; shift += 7) {
            const auto b = static_cast<unsigned char>(archive[pos++]);
            v |= uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) break;
        }
        return v;
    };
    size_t pos = 8;
    while (pos + 4 < archive.size()) {
        size_t p = pos + 4;
        const uint64_t headerSize = vint(p);
        const size_t headerStart = p;  // the type field
        const size_t headerEnd = headerStart + static_cast<size_t>(headerSize);
        if (headerEnd > archive.size()) return false;
        vint(p);  // type
        const uint64_t flags = vint(p);
        if (flags & 1) vint(p);
        const uint64_t dataSize = (flags & 2) ? vint(p) : 0;
        const size_t at = archive.find(from, headerStart);
        if (at != std::string::npos && at + from.size() <= headerEnd) {
            archive.replace(at, from.size(), to);
            const uint32_t crc = crc32(archive.data() + pos + 4, headerEnd - (pos + 4));
            for (int k = 0; k < 4; ++k) archive[pos + k] = static_cast<char>(crc >> (8 * k));
            return true;
        }
        pos = headerEnd + static_cast<size_t>(dataSize);
    }
    return false;
}

}  // namespace tarvos::test
