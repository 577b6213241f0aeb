#pragma once
#include <cstdint>
#include <map>
#include <vector>

// BMP file images written independently of the decoder under test, in every layout it reads.
namespace tarvos::testing {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB per pixel, rows top-down
};

inline Picture Pattern(int w, int h, std::vector<std::uint32_t> colours) {
    Picture p{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.rgb.push_back(colours[(x * 7 + y * 3) % colours.size()]);
    return p;
}

inline void Put(std::vector<std::uint8_t>& o, size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) o[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// bits: 1, 4, 8 (palette of the picture's colours), 16 (5-5-5), 24, 32 (fourth byte 0x80).
inline std::vector<std::uint8_t> MakeBmp(const Picture& p, int bits, bool topDown = false) {
    std::vector<std::uint32_t> palette;
    std::map<std::uint32_t, std::uint32_t> index;
    if (bits <= 8)
        for (auto c : p.rgb)
            if (!index.count(c)) index[c] = static_cast<std::uint32_t>(palette.size()), palette.push_back(c);
    size_t rowBytes = (static_cast<size_t>(p.width) * bits + 31) / 32 * 4;
    size_t offset = 54 + palette.size() * 4;
    std::vector<std::uint8_t> o(offset + rowBytes * p.height, 0);
    o[0] = 'B', o[1] = 'M';
    Put(o, 2, static_cast<std::uint32_t>(o.size()), 4);
    Put(o, 10, static_cast<std::uint32_t>(offset), 4);
    Put(o, 14, 40, 4);
    Put(o, 18, p.width, 4);
    Put(o, 22, topDown ? -p.height : p.height, 4);
    Put(o, 26, 1, 2);
    Put(o, 28, bits, 2);
    Put(o, 46, static_cast<std::uint32_t>(palette.size()), 4);
    for (size_t i = 0; i < palette.size(); ++i) Put(o, 54 + i * 4, palette[i], 4);
    for (int y = 0; y < p.height; ++y) {
        size_t row = offset + rowBytes * (topDown ? y : p.height - 1 - y);
        for (int x = 0; x < p.width; ++x) {
            std::uint32_t c = p.rgb[static_cast<size_t>(y) * p.width + x];
            if (bits <= 8) {
                int perByte = 8 / bits;
                o[row + x / perByte] |= static_cast<std::uint8_t>(index[c] << (8 - bits * (1 + x % perByte)));
            } else if (bits == 16) {
                std::uint32_t v = (((c >> 19) & 31) << 10) | (((c >> 11) & 31) << 5) | ((c >> 3) & 31);
                Put(o, row + x * 2, v, 2);
            } else {
                Put(o, row + x * (bits / 8), c | (bits == 32 ? 0x80000000u : 0), bits / 8);
            }
        }
    }
    return o;
}

}  // namespace tarvos::testing
