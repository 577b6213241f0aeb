#pragma once
#include <string>
#include <string_view>

#include "platform/MemoryStream.hpp"
#include "platform/Stream.hpp"

namespace tarvos {

// Scrambles or unscrambles the whole stream in place with a repeating key (byte p is
// XORed with key byte p mod key length); afterwards the position is at the end.
// The key must hold 1 to 200 bytes; any other length throws TarvosError.
void XorStream(MemoryStream& stream, std::string_view key);

// Decompresses the bzip2 stream starting at the source's position and appends the output at
// the destination's position. A library failure throws TarvosError "error %d" with its code;
// input that ends early is not an error, the output just ends there.
void BZDecompressStream(Stream& source, Stream& dest);

// Unpacks a packed file list: a bzip2 stream whose first five bytes were overwritten. They are
// restored to "BZh91" in the packed file itself before decoding. A missing packed file is
// skipped and leaves outName untouched.
void BZDecompressFile(const std::string& packedName, const std::string& outName);

// Compresses the rest of the source into dest as one bzip2 stream (block size 9).
// A library failure throws TarvosError "error %d" with its code.
void BZCompressStream(Stream& source, Stream& dest);

// Writes the packed form of a file list that BZDecompressFile reads: a bzip2 stream whose
// first five bytes are replaced by "TARVO". Empty content is refused (TarvosError), since a
// stream without blocks has no first block header in its fifth byte and would not unpack.
void BZCompressFile(const std::string& plainName, const std::string& packedName);

}  // namespace tarvos
