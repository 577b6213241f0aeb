#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Stream.hpp"

namespace tarvos {

// Incremental MD5 (RFC 1321). Reading a digest does not end the message: bytes added
// afterwards continue it, and the next digest covers everything since the last reset.
class TCustomMD5 {
public:
    TCustomMD5() { ResetState(); }

    void AddBuffer(const void* bytes, size_t count);

    const std::array<uint8_t, 16>& Digest();
    std::array<uint32_t, 4> DigestLongWord();
    // 32 upper-case hexadecimal digits, byte 0 first.
    std::string DigestStr();

protected:
    void ResetState();

private:
    void Finalise();

    std::array<uint8_t, 16> FDigest{};
    uint32_t CDigest[4];
    uint32_t BitLo = 0, BitHi = 0;
    uint8_t bBuf[64];
    uint32_t bLen = 0;
    bool BufferChanged = true;
};

// Feeds typed values in their little-endian memory form, files and streams.
class TMD5 : public TCustomMD5 {
public:
    void Reset() { ResetState(); }

    void Add(char16_t unit);
    void Add(uint8_t value);
    void Add(uint16_t value);
    void Add(int32_t value);
    void Add(uint32_t value);
    // A text is fed as its UTF-16 code units, two bytes each, without a terminator.
    void Add(std::string_view utf8Text);
    void Add(std::u16string_view text);
    void Add(const std::vector<std::string>& lines);
    // Without these a char or a literal would silently pick one of the overloads above.
    void Add(char) = delete;
    void Add(const char* text) { Add(std::string_view(text)); }

    // The whole file, opened share-deny-write; "Cannot open file %s" when that fails.
    void AddFile(const std::string& fileName);
    // The stream from its position to its end; the position is restored afterwards.
    void AddStream(Stream& stream);
};

// The digest text of a whole file.
std::string FileMD5(const std::string& fileName);

}  // namespace tarvos
