#include "platform/Bitmap.hpp"

#include <bit>
#include <cstring>
#include <string>

#include "platform/Error.hpp"

namespace tarvos {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
// Far beyond any window picture; keeps a damaged header from asking for gigabytes.
constexpr std::int64_t kMaxPixels = 16LL * 1024 * 1024;

thread_local PixelBudget* t_budget = nullptr;

[[noreturn]] void Damaged(const char* why) { throw TarvosError(std::string("Invalid bitmap: ") + why); }

std::uint32_t Le32(std::span<const std::uint8_t> d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<std::uint32_t>(d[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> d, size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

struct BmpLayout {
    std::int64_t width = 0;
    std::int64_t height = 0;  // positive; topDown tells the row order
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::vector<std::uint8_t> palette;      // B, G, R, A per entry
    size_t pixelOffset = 0;
    size_t rowBytes = 0;
};

// One channel of a bit-field pixel, scaled to 0..255.
std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    std::uint64_t v = (value & mask) >> shift;
    std::uint64_t max = mask >> shift;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

void ReadPalette(std::span<const std::uint8_t> d, size_t at, size_t entrySize, std::uint32_t used,
                 BmpLayout& l) {
    std::uint32_t count = used ? used : (1u << l.bits);
    if (count > 256) Damaged("colour table too large");
    if (at + static_cast<size_t>(count) * entrySize > d.size()) Damaged("colour table past the end");
    // An index past the table paints opaque black rather than a hole in the window.
    l.palette.assign(256 * 4, 0);
    for (size_t i = 0; i < 256; ++i) l.palette[i * 4 + 3] = 255;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = d.data() + at + i * entrySize;
        l.palette[i * 4 + 0] = e[0];
        l.palette[i * 4 + 1] = e[1];
        l.palette[i * 4 + 2] = e[2];
        l.palette[i * 4 + 3] = 255;
    }
}

void ReadMasks(std::span<const std::uint8_t> d, size_t at, size_t infoSize, BmpLayout& l) {
    if (l.compression != kBiBitfields) {
        if (l.bits == 16) {
            l.masks[0] = 0x7C00, l.masks[1] = 0x03E0, l.masks[2] = 0x001F;
        }
        return;
    }
    if (l.bits != 16 && l.bits != 32) Damaged("bit fields need 16 or 32 bits per pixel");
    // Version 3 info headers keep the three masks right after the header.
    size_t maskAt = infoSize >= 52 ? 14 + 40 : at;
    if (maskAt + 12 > d.size()) Damaged("masks past the end");
    for (int i = 0; i < 3; ++i) l.masks[i] = Le32(d, maskAt + 4 * i);
    if (infoSize >= 56) l.masks[3] = Le32(d, 14 + 52);
}

BmpLayout ReadLayout(std::span<const std::uint8_t> d) {
    if (d.size() < 14 + 12 || d[0] != 'B' || d[1] != 'M') Damaged("no BMP file header");
    BmpLayout l;
    size_t infoSize = Le32(d, 14);
    if (infoSize > d.size() - 14) Damaged("info header past the end");
    size_t paletteAt = 14 + infoSize;
    std::uint32_t used = 0;
    if (infoSize == 12) {  // the old core header: 16-bit sizes, 3-byte colour table entries
        l.width = Le16(d, 18), l.height = static_cast<std::int16_t>(Le16(d, 20));
        l.bits = Le16(d, 24);
    } else if (infoSize >= 40) {
        l.width = static_cast<std::int32_t>(Le32(d, 18));
        l.height = static_cast<std::int32_t>(Le32(d, 22));
        l.bits = Le16(d, 28);
        l.compression = Le32(d, 30);
        used = Le32(d, 46);
    } else {
        Damaged("unknown info header");
    }
    if (l.height < 0) l.topDown = true, l.height = -l.height;
    if (l.width <= 0 || l.height <= 0) Damaged("no pixels");
    if (l.width * l.height > kMaxPixels) Damaged("too many pixels");
    if (!PixelBudget::Take(l.width * l.height)) Damaged("too many pixels for the whole package");
    bool rle = l.compression == kBiRle8 || l.compression == kBiRle4;
    if (l.compression != kBiRgb && l.compression != kBiBitfields && !rle) Damaged("compression not supported");
    if (rle && (l.bits != (l.compression == kBiRle8 ? 8 : 4) || l.topDown)) Damaged("run-length data of the wrong kind");
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32)
        Damaged("bits per pixel not supported");
    if (l.bits <= 8) ReadPalette(d, paletteAt, infoSize == 12 ? 3 : 4, used, l);
    ReadMasks(d, paletteAt, infoSize, l);
    l.rowBytes = static_cast<size_t>((l.width * l.bits + 31) / 32) * 4;
    l.pixelOffset = Le32(d, 10);
    if (l.pixelOffset > d.size()) Damaged("pixels past the end");
    if (rle) return l;
    if (l.rowBytes * static_cast<size_t>(l.height) > d.size() - l.pixelOffset)
        Damaged("pixels past the end");
    return l;
}

void DecodeRow(const std::uint8_t* src, const BmpLayout& l, std::uint8_t* out) {
    for (std::int64_t x = 0; x < l.width; ++x, out += 4) {
        if (l.bits <= 8) {
            int perByte = 8 / l.bits;
            std::uint8_t byte = src[x / perByte];
            int shift = 8 - l.bits * (1 + static_cast<int>(x % perByte));
            unsigned index = (byte >> shift) & ((1u << l.bits) - 1);
            std::memcpy(out, &l.palette[index * 4], 4);
        } else if (l.bits == 24) {
            out[0] = src[x * 3], out[1] = src[x * 3 + 1], out[2] = src[x * 3 + 2], out[3] = 255;
        } else if (l.bits == 32 && l.compression == kBiRgb) {
            // The fourth byte of a plain 32-bit picture is padding (pictures carry 0 there):
            // the picture is opaque.
            out[0] = src[x * 4], out[1] = src[x * 4 + 1], out[2] = src[x * 4 + 2], out[3] = 255;
        } else {
            std::uint32_t v = l.bits == 16 ? Le16(std::span(src + x * 2, 2), 0) : Le32(std::span(src + x * 4, 4), 0);
            out[0] = Channel(v, l.masks[2]), out[1] = Channel(v, l.masks[1]), out[2] = Channel(v, l.masks[0]);
            out[3] = l.masks[3] ? Channel(v, l.masks[3]) : 255;
        }
    }
}

// Run-length encoded pixels (8 or 4 bits, always bottom-up) into palette indexes; runs and
// moves that leave the picture are cut at its edge.
std::vector<std::uint8_t> DecodeRle(std::span<const std::uint8_t> d, const BmpLayout& l) {
    const size_t w = static_cast<size_t>(l.width), h = static_cast<size_t>(l.height);
    std::vector<std::uint8_t> index(w * h, 0);
    const bool four = l.bits == 4;
    size_t x = 0, y = 0, at = l.pixelOffset;
    auto put = [&](std::uint8_t v) {
        if (x < w && y < h) index[y * w + x] = v;
        ++x;
    };
    while (at + 2 <= d.size() && y < h) {
        std::uint8_t n = d[at], v = d[at + 1];
        at += 2;
        if (n > 0) {
            for (unsigned i = 0; i < n; ++i) put(four ? ((i & 1) ? v & 0x0F : v >> 4) : v);
        } else if (v == 0) {
            x = 0, ++y;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (at + 2 > d.size()) break;
            x += d[at], y += d[at + 1], at += 2;
        } else {
            size_t bytes = four ? (v + 1u) / 2 : v;
            if (at + bytes > d.size()) Damaged("run-length data past the end");
            for (unsigned i = 0; i < v; ++i) put(four ? ((i & 1) ? d[at + i / 2] & 0x0F : d[at + i / 2] >> 4) : d[at + i]);
            at += bytes + (bytes & 1);
        }
    }
    return index;
}

Bitmap FromIndexes(const std::vector<std::uint8_t>& index, const BmpLayout& l) {
    Bitmap b;
    b.width = static_cast<int>(l.width);
    b.height = static_cast<int>(l.height);
    b.pixels.resize(index.size() * 4);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            std::memcpy(b.Row(b.height - 1 - y) + x * 4, &l.palette[index[static_cast<size_t>(y) * b.width + x] * 4], 4);
    return b;
}

}  // namespace

std::uint32_t Bitmap::ColorAt(int x, int y) const {
    const std::uint8_t* p = Row(y) + static_cast<size_t>(x) * 4;
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

PixelBudget::PixelBudget(std::int64_t pixels) : left_(pixels), outer_(t_budget) { t_budget = this; }

PixelBudget::~PixelBudget() { t_budget = outer_; }

bool PixelBudget::Take(std::int64_t pixels) {
    if (!t_budget) return true;
    if (pixels > t_budget->left_) return false;
    t_budget->left_ -= pixels;
    return true;
}

Bitmap DecodeBmp(std::span<const std::uint8_t> file) {
    BmpLayout l = ReadLayout(file);
    if (l.compression == kBiRle8 || l.compression == kBiRle4) return FromIndexes(DecodeRle(file, l), l);
    Bitmap b;
    b.width = static_cast<int>(l.width);
    b.height = static_cast<int>(l.height);
    b.pixels.resize(static_cast<size_t>(l.width * l.height) * 4);
    for (std::int64_t row = 0; row < l.height; ++row) {
        std::int64_t y = l.topDown ? row : l.height - 1 - row;
        DecodeRow(file.data() + l.pixelOffset + row * l.rowBytes, l, b.Row(static_cast<int>(y)));
    }
    return b;
}

std::vector<std::uint8_t> EncodeBmp24(const Bitmap& bitmap) {
    size_t rowBytes = (static_cast<size_t>(bitmap.width) * 3 + 3) / 4 * 4;
    size_t size = 54 + rowBytes * bitmap.height;
    std::vector<std::uint8_t> out(size, 0);
    auto put32 = [&](size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put32(2, static_cast<std::uint32_t>(size));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(bitmap.width));
    put32(22, static_cast<std::uint32_t>(bitmap.height));
    out[26] = 1, out[28] = 24;
    put32(34, static_cast<std::uint32_t>(rowBytes * bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) {
        std::uint8_t* dst = out.data() + 54 + rowBytes * (bitmap.height - 1 - y);
        const std::uint8_t* src = bitmap.Row(y);
        for (int x = 0; x < bitmap.width; ++x) std::memcpy(dst + x * 3, src + x * 4, 3);
    }
    return out;
}

}  // namespace tarvos
