// Feeds arbitrary bytes to the packed-list unpacker the way a downloaded list reaches it:
// the first five bytes are replaced, the rest is decoded. Output is counted, not kept, so a
// small input that expands hugely cannot exhaust memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Error.hpp"
#include "platform/MemoryStream.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace {
class CountingSink final : public tarvos::Stream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override {
        size_ += static_cast<int64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, tarvos::SeekOrigin) override { return size_; }
    int64_t Position() const override { return size_; }
    int64_t Size() const override { return size_; }

private:
    int64_t size_ = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    bytes.replace(0, std::min<size_t>(5, bytes.size()), "BZh91");
    tarvos::MemoryStream packed(bytes);
    CountingSink out;
    try {
        tarvos::BZDecompressStream(packed, out);
    } catch (const tarvos::TarvosError&) {
    }
    return 0;
}
