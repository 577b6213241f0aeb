#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvos::pack {

using Bytes = std::vector<std::uint8_t>;

// Writers of the skin section format, the inverse of the launcher's reader.
void PutInt32(Bytes& out, std::int32_t v);
void PutInt64(Bytes& out, std::int64_t v);
// Overwrites the first four bytes with a little-endian value.
void PutInt32Into(Bytes& out, std::int32_t v);
// A sub-block or block body: the 8-byte size, then the bytes.
void PutSized(Bytes& out, std::span<const std::uint8_t> bytes);
// A block: element id, then its body as a sized unit.
void PutBlock(Bytes& out, std::uint8_t id, std::span<const std::uint8_t> body);
// A section: version, block count, blocks (already written one after the other).
Bytes Section(std::int32_t version, std::int32_t count, std::span<const std::uint8_t> blocks);
// A string list as the launcher reads it: the lines joined with CR LF, as UTF-8 with a
// byte-order mark when any character is outside ASCII (so it reads the same on every system).
Bytes StringListBytes(const std::vector<std::string>& lines);
// Text as the launcher reads it: kept when it carries a byte-order mark or is plain ASCII,
// otherwise (UTF-8 source) given the UTF-8 byte-order mark.
Bytes TextBytes(std::string_view text);

}  // namespace tarvos::pack
