#include "inventory/CustomMD5.hpp"

#include <bit>
#include <cstring>
#include <memory>

#include "platform/FileStream.hpp"
#include "platform/Text.hpp"

namespace tarvos {

static_assert(std::endian::native == std::endian::little, "MD5 words are read in host byte order");

namespace {
constexpr size_t kReadBlock = 8192;

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// Each step adds the message word and constant first, which do not wait for the previous
// step, and shapes the round functions so that most of their work does not wait for b.
#define MD5_STEP_F(a, b, c, d, k, t, s) \
    a += X[k] + (t);                    \
    a += (((c) ^ (d)) & (b)) ^ (d);     \
    a = Rotl(a, s) + (b)
#define MD5_STEP_G(a, b, c, d, k, t, s) \
    a += X[k] + (t) + (~(d) & (c));     \
    a += (d) & (b);                     \
    a = Rotl(a, s) + (b)
#define MD5_STEP_H(a, b, c, d, k, t, s) \
    a += X[k] + (t);                    \
    a += ((c) ^ (d)) ^ (b);             \
    a = Rotl(a, s) + (b)
#define MD5_STEP_I(a, b, c, d, k, t, s) \
    a += X[k] + (t);                    \
    a += (c) ^ ((b) | ~(d));            \
    a = Rotl(a, s) + (b)

// Transforms `blocks` consecutive 64-byte blocks into the state, straight from memory.
void Transform(uint32_t state[4], const uint8_t* p, size_t blocks) {
    uint32_t A = state[0], B = state[1], C = state[2], D = state[3];
    for (; blocks > 0; --blocks, p += 64) {
        uint32_t X[16];
        std::memcpy(X, p, 64);
        const uint32_t a0 = A, b0 = B, c0 = C, d0 = D;
        MD5_STEP_F(A, B, C, D, 0, 0xd76aa478, 7);
        MD5_STEP_F(D, A, B, C, 1, 0xe8c7b756, 12);
        MD5_STEP_F(C, D, A, B, 2, 0x242070db, 17);
        MD5_STEP_F(B, C, D, A, 3, 0xc1bdceee, 22);
        MD5_STEP_F(A, B, C, D, 4, 0xf57c0faf, 7);
        MD5_STEP_F(D, A, B, C, 5, 0x4787c62a, 12);
        MD5_STEP_F(C, D, A, B, 6, 0xa8304613, 17);
        MD5_STEP_F(B, C, D, A, 7, 0xfd469501, 22);
        MD5_STEP_F(A, B, C, D, 8, 0x698098d8, 7);
        MD5_STEP_F(D, A, B, C, 9, 0x8b44f7af, 12);
        MD5_STEP_F(C, D, A, B, 10, 0xffff5bb1, 17);
        MD5_STEP_F(B, C, D, A, 11, 0x895cd7be, 22);
        MD5_STEP_F(A, B, C, D, 12, 0x6b901122, 7);
        MD5_STEP_F(D, A, B, C, 13, 0xfd987193, 12);
        MD5_STEP_F(C, D, A, B, 14, 0xa679438e, 17);
        MD5_STEP_F(B, C, D, A, 15, 0x49b40821, 22);

        MD5_STEP_G(A, B, C, D, 1, 0xf61e2562, 5);
        MD5_STEP_G(D, A, B, C, 6, 0xc040b340, 9);
        MD5_STEP_G(C, D, A, B, 11, 0x265e5a51, 14);
        MD5_STEP_G(B, C, D, A, 0, 0xe9b6c7aa, 20);
        MD5_STEP_G(A, B, C, D, 5, 0xd62f105d, 5);
        MD5_STEP_G(D, A, B, C, 10, 0x02441453, 9);
        MD5_STEP_G(C, D, A, B, 15, 0xd8a1e681, 14);
        MD5_STEP_G(B, C, D, A, 4, 0xe7d3fbc8, 20);
        MD5_STEP_G(A, B, C, D, 9, 0x21e1cde6, 5);
        MD5_STEP_G(D, A, B, C, 14, 0xc33707d6, 9);
        MD5_STEP_G(C, D, A, B, 3, 0xf4d50d87, 14);
        MD5_STEP_G(B, C, D, A, 8, 0x455a14ed, 20);
        MD5_STEP_G(A, B, C, D, 13, 0xa9e3e905, 5);
        MD5_STEP_G(D, A, B, C, 2, 0xfcefa3f8, 9);
        MD5_STEP_G(C, D, A, B, 7, 0x676f02d9, 14);
        MD5_STEP_G(B, C, D, A, 12, 0x8d2a4c8a, 20);

        MD5_STEP_H(A, B, C, D, 5, 0xfffa3942, 4);
        MD5_STEP_H(D, A, B, C, 8, 0x8771f681, 11);
        MD5_STEP_H(C, D, A, B, 11, 0x6d9d6122, 16);
        MD5_STEP_H(B, C, D, A, 14, 0xfde5380c, 23);
        MD5_STEP_H(A, B, C, D, 1, 0xa4beea44, 4);
        MD5_STEP_H(D, A, B, C, 4, 0x4bdecfa9, 11);
        MD5_STEP_H(C, D, A, B, 7, 0xf6bb4b60, 16);
        MD5_STEP_H(B, C, D, A, 10, 0xbebfbc70, 23);
        MD5_STEP_H(A, B, C, D, 13, 0x289b7ec6, 4);
        MD5_STEP_H(D, A, B, C, 0, 0xeaa127fa, 11);
        MD5_STEP_H(C, D, A, B, 3, 0xd4ef3085, 16);
        MD5_STEP_H(B, C, D, A, 6, 0x04881d05, 23);
        MD5_STEP_H(A, B, C, D, 9, 0xd9d4d039, 4);
        MD5_STEP_H(D, A, B, C, 12, 0xe6db99e5, 11);
        MD5_STEP_H(C, D, A, B, 15, 0x1fa27cf8, 16);
        MD5_STEP_H(B, C, D, A, 2, 0xc4ac5665, 23);

        MD5_STEP_I(A, B, C, D, 0, 0xf4292244, 6);
        MD5_STEP_I(D, A, B, C, 7, 0x432aff97, 10);
        MD5_STEP_I(C, D, A, B, 14, 0xab9423a7, 15);
        MD5_STEP_I(B, C, D, A, 5, 0xfc93a039, 21);
        MD5_STEP_I(A, B, C, D, 12, 0x655b59c3, 6);
        MD5_STEP_I(D, A, B, C, 3, 0x8f0ccc92, 10);
        MD5_STEP_I(C, D, A, B, 10, 0xffeff47d, 15);
        MD5_STEP_I(B, C, D, A, 1, 0x85845dd1, 21);
        MD5_STEP_I(A, B, C, D, 8, 0x6fa87e4f, 6);
        MD5_STEP_I(D, A, B, C, 15, 0xfe2ce6e0, 10);
        MD5_STEP_I(C, D, A, B, 6, 0xa3014314, 15);
        MD5_STEP_I(B, C, D, A, 13, 0x4e0811a1, 21);
        MD5_STEP_I(A, B, C, D, 4, 0xf7537e82, 6);
        MD5_STEP_I(D, A, B, C, 11, 0xbd3af235, 10);
        MD5_STEP_I(C, D, A, B, 2, 0x2ad7d2bb, 15);
        MD5_STEP_I(B, C, D, A, 9, 0xeb86d391, 21);

        A += a0;
        B += b0;
        C += c0;
        D += d0;
    }
    state[0] = A;
    state[1] = B;
    state[2] = C;
    state[3] = D;
}

#undef MD5_STEP_F
#undef MD5_STEP_G
#undef MD5_STEP_H
#undef MD5_STEP_I

template <typename T>
void AddLittleEndian(TCustomMD5& md5, T value) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    md5.AddBuffer(bytes, sizeof(T));
}
}  // namespace

void TCustomMD5::ResetState() {
    CDigest[0] = 0x67452301;
    CDigest[1] = 0xEFCDAB89;
    CDigest[2] = 0x98BADCFE;
    CDigest[3] = 0x10325476;
    BitLo = BitHi = 0;
    bLen = 0;
    BufferChanged = true;
}

void TCustomMD5::AddBuffer(const void* bytes, size_t count) {
    BufferChanged = true;
    uint64_t bits = (static_cast<uint64_t>(BitHi) << 32 | BitLo) + static_cast<uint64_t>(count) * 8;
    BitLo = static_cast<uint32_t>(bits);
    BitHi = static_cast<uint32_t>(bits >> 32);
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (bLen > 0) {
        size_t n = std::min<size_t>(64 - bLen, count);
        std::memcpy(bBuf + bLen, p, n);
        bLen += static_cast<uint32_t>(n);
        p += n;
        count -= n;
        if (bLen < 64) return;
        Transform(CDigest, bBuf, 1);
        bLen = 0;
    }
    Transform(CDigest, p, count / 64);
    p += count / 64 * 64;
    std::memcpy(bBuf, p, count % 64);
    bLen = static_cast<uint32_t>(count % 64);
}

void TCustomMD5::Finalise() {
    uint32_t state[4] = {CDigest[0], CDigest[1], CDigest[2], CDigest[3]};
    uint8_t tail[128] = {};
    std::memcpy(tail, bBuf, bLen);
    tail[bLen] = 0x80;
    size_t length = bLen < 56 ? 64 : 128;
    for (int i = 0; i < 4; ++i) {
        tail[length - 8 + i] = static_cast<uint8_t>(BitLo >> (8 * i));
        tail[length - 4 + i] = static_cast<uint8_t>(BitHi >> (8 * i));
    }
    Transform(state, tail, length / 64);
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) FDigest[w * 4 + i] = static_cast<uint8_t>(state[w] >> (8 * i));
    BufferChanged = false;
}

const std::array<uint8_t, 16>& TCustomMD5::Digest() {
    if (BufferChanged) Finalise();
    return FDigest;
}

std::array<uint32_t, 4> TCustomMD5::DigestLongWord() {
    const auto& d = Digest();
    std::array<uint32_t, 4> words;
    std::memcpy(words.data(), d.data(), 16);
    return words;
}

std::string TCustomMD5::DigestStr() {
    static const char digits[] = "0123456789ABCDEF";
    const auto& d = Digest();
    std::string s(32, '0');
    for (size_t i = 0; i < 16; ++i) {
        s[2 * i] = digits[d[i] >> 4];
        s[2 * i + 1] = digits[d[i] & 15];
    }
    return s;
}

void TMD5::Add(char16_t unit) { AddLittleEndian(*this, static_cast<uint16_t>(unit)); }
void TMD5::Add(uint8_t value) { AddBuffer(&value, 1); }
void TMD5::Add(uint16_t value) { AddLittleEndian(*this, value); }
void TMD5::Add(int32_t value) { AddLittleEndian(*this, static_cast<uint32_t>(value)); }
void TMD5::Add(uint32_t value) { AddLittleEndian(*this, value); }

void TMD5::Add(std::u16string_view text) {
    // Little-endian hosts hold UTF-16 code units in exactly the byte order to feed.
    AddBuffer(text.data(), text.size() * 2);
}

void TMD5::Add(std::string_view utf8Text) { Add(std::u16string_view(Utf8ToUtf16(utf8Text))); }

void TMD5::Add(const std::vector<std::string>& lines) {
    for (const auto& line : lines) Add(std::string_view(line));
}

void TMD5::AddFile(const std::string& fileName) {
    FileStream file(fileName, FileMode::OpenReadShareDenyWrite);
    auto buffer = std::make_unique<uint8_t[]>(kReadBlock);
    for (;;) {
        size_t n = file.Read(buffer.get(), kReadBlock);
        AddBuffer(buffer.get(), n);
        if (n < kReadBlock) break;
    }
}

void TMD5::AddStream(Stream& stream) {
    const int64_t start = stream.Position();
    auto buffer = std::make_unique<uint8_t[]>(kReadBlock);
    struct Restore {
        Stream& s;
        int64_t pos;
        ~Restore() {
            try {
                s.Seek(pos, SeekOrigin::Begin);
            } catch (...) {
            }
        }
    } restore{stream, start};
    for (;;) {
        size_t n = stream.Read(buffer.get(), kReadBlock);
        AddBuffer(buffer.get(), n);
        if (n < kReadBlock) break;
    }
}

std::string FileMD5(const std::string& fileName) {
    TMD5 md5;
    md5.AddFile(fileName);
    return md5.DigestStr();
}

}  // namespace tarvos
