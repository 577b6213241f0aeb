#include "transfer/UpdaterDecompress.hpp"

#include <bzlib.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/Error.hpp"
#include "platform/FileStream.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
constexpr size_t kMaxKeyLength = 200;
constexpr size_t kInputBufferSize = 131072;
constexpr size_t kOutputBufferSize = 65536;

[[noreturn]] void ThrowBzError(int code) { throw TarvosError("error " + std::to_string(code)); }

// One bzip2 decompressor reading its input from a stream in fixed chunks. Closed by the
// destructor, also when decoding throws.
class BzReader {
public:
    explicit BzReader(Stream& source) : source_(source), input_(kInputBufferSize) {
        int rc = BZ2_bzDecompressInit(&bz_, 0, 0);
        if (rc != BZ_OK) ThrowBzError(rc);
    }
    ~BzReader() { BZ2_bzDecompressEnd(&bz_); }
    BzReader(const BzReader&) = delete;
    BzReader& operator=(const BzReader&) = delete;

    // Fills buffer as far as the data goes; 0 means the stream (or its input) is over.
    size_t Read(char* buffer, size_t count) {
        bz_.next_out = buffer;
        bz_.avail_out = static_cast<unsigned>(count);
        while (bz_.avail_out > 0) {
            if (bz_.avail_in == 0 && !Refill()) break;
            // After the end of the stream the library refuses to go on: bytes that follow
            // the stream thus surface as its sequence error.
            int rc = BZ2_bzDecompress(&bz_);
            if (rc < 0) ThrowBzError(rc);
        }
        return count - bz_.avail_out;
    }

private:
    bool Refill() {
        size_t n = source_.Read(input_.data(), input_.size());
        bz_.next_in = input_.data();
        bz_.avail_in = static_cast<unsigned>(n);
        return n > 0;
    }

    Stream& source_;
    std::vector<char> input_;
    bz_stream bz_{};
};
// One bzip2 compressor; closed by the destructor, also when writing throws.
class BzWriter {
public:
    explicit BzWriter(Stream& dest) : dest_(dest), output_(kOutputBufferSize) {
        int rc = BZ2_bzCompressInit(&bz_, 9, 0, 0);
        if (rc != BZ_OK) ThrowBzError(rc);
    }
    ~BzWriter() { BZ2_bzCompressEnd(&bz_); }
    BzWriter(const BzWriter&) = delete;
    BzWriter& operator=(const BzWriter&) = delete;

    void Write(char* data, size_t count) { Run(data, count, BZ_RUN, BZ_RUN_OK); }
    void Finish() { Run(nullptr, 0, BZ_FINISH, BZ_STREAM_END); }

private:
    void Run(char* data, size_t count, int action, int done) {
        bz_.next_in = data;
        bz_.avail_in = static_cast<unsigned>(count);
        for (;;) {
            bz_.next_out = output_.data();
            bz_.avail_out = static_cast<unsigned>(output_.size());
            int rc = BZ2_bzCompress(&bz_, action);
            if (rc < 0) ThrowBzError(rc);
            dest_.WriteBuffer(output_.data(), output_.size() - bz_.avail_out);
            if (rc == done && (action == BZ_FINISH || bz_.avail_in == 0)) return;
        }
    }

    Stream& dest_;
    std::vector<char> output_;
    bz_stream bz_{};
};
}  // namespace

void XorStream(MemoryStream& stream, std::string_view key) {
    if (key.empty() || key.size() > kMaxKeyLength) {
        throw TarvosError("XorStream: the key must be 1 to 200 bytes long, not " + std::to_string(key.size()));
    }
    auto& bytes = stream.Bytes();
    const size_t length = key.size();
    for (size_t block = 0; block < bytes.size(); block += length) {
        size_t n = std::min(length, bytes.size() - block);
        for (size_t i = 0; i < n; ++i) bytes[block + i] ^= static_cast<uint8_t>(key[i]);
    }
    stream.Seek(0, SeekOrigin::End);
}

void BZDecompressStream(Stream& source, Stream& dest) {
    BzReader reader(source);
    std::vector<char> output(kOutputBufferSize);
    for (;;) {
        size_t n = reader.Read(output.data(), output.size());
        if (n == 0) break;
        dest.WriteBuffer(output.data(), n);
    }
}

void BZCompressStream(Stream& source, Stream& dest) {
    BzWriter writer(dest);
    std::vector<char> input(kInputBufferSize);
    while (size_t n = source.Read(input.data(), input.size())) writer.Write(input.data(), n);
    writer.Finish();
}

void BZCompressFile(const std::string& plainName, const std::string& packedName) {
    FileStream plain(plainName, FileMode::OpenReadShareDenyWrite);
    if (plain.Size() == 0) throw TarvosError("Cannot pack the empty file " + plainName);
    FileStream packed(packedName, FileMode::Create);
    BZCompressStream(plain, packed);
    // The head is overwritten on purpose: the reader restores it and accepts any five bytes.
    packed.Seek(0, SeekOrigin::Begin);
    packed.WriteBuffer("TARVO", 5);
}

void BZDecompressFile(const std::string& packedName, const std::string& outName) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(PathFromUtf8(packedName), ec)) return;
    FileStream packed(packedName, FileMode::OpenReadWriteExclusive);
    packed.Seek(0, SeekOrigin::Begin);
    packed.WriteBuffer("BZh91", 5);
    packed.Seek(0, SeekOrigin::Begin);
    FileStream out(outName, FileMode::Create);
    BZDecompressStream(packed, out);
}

}  // namespace tarvos
