#include "transfer/BlockIndex.hpp"

#include <algorithm>
#include <cstring>

#include "inventory/CustomMD5.hpp"
#include "platform/Error.hpp"
#include "platform/FileStream.hpp"

namespace tarvos {

namespace {

constexpr char kMagic[4] = {'T', 'D', 'X', '1'};
constexpr size_t kHeadSize = 4 + 8 + 4 + 16;
constexpr size_t kEntrySize = 4 + 16;

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

uint64_t GetLe(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

std::array<uint8_t, 16> Md5Of(const void* data, size_t length) {
    TCustomMD5 md5;
    md5.AddBuffer(data, length);
    return md5.Digest();
}

}  // namespace

uint32_t BlockIndex::BlockLength(size_t i) const {
    const int64_t rest = fileSize - BlockStart(i);
    return static_cast<uint32_t>(std::min<int64_t>(rest, blockSize));
}

std::string BlockIndex::FileDigestText() const {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : fileDigest) {
        text.push_back(hex[b >> 4]);
        text.push_back(hex[b & 15]);
    }
    return text;
}

uint32_t ChooseBlockSize(int64_t fileSize) {
    uint32_t size = 64u << 10;
    while (size < (1u << 20) && fileSize / size > 16384) size <<= 1;
    return size;
}

// The second sum as window * a - sum(i * x[i]): no running dependency from byte to byte, so
// the loop vectorises; the scan starts a fresh sum after every matched block.
void RollingSum::Reset(const uint8_t* data, size_t length) {
    uint32_t a = 0, weighted = 0;
    for (size_t i = 0; i < length; ++i) {
        a += data[i];
        weighted += static_cast<uint32_t>(i) * data[i];
    }
    a_ = a;
    b_ = window_ * a - weighted;
}

uint32_t WeakSum(const uint8_t* data, size_t length) {
    RollingSum sum(static_cast<uint32_t>(length));
    sum.Reset(data, length);
    return sum.Value();
}

BlockIndex MakeBlockIndex(const std::string& fileName, uint32_t blockSize) {
    FileStream file(fileName, FileMode::OpenReadShareDenyWrite);
    BlockIndex index;
    index.blockSize = blockSize;
    index.fileSize = file.Size();
    std::vector<uint8_t> block(blockSize);
    TCustomMD5 whole;
    for (;;) {
        size_t got = 0;
        while (got < blockSize) {
            const size_t n = file.Read(block.data() + got, blockSize - got);
            if (n == 0) break;
            got += n;
        }
        if (got == 0) break;
        whole.AddBuffer(block.data(), got);
        index.blocks.push_back({WeakSum(block.data(), got), Md5Of(block.data(), got)});
        if (got < blockSize) break;
    }
    // A file that grew or shrank while it was read would give an index of no file at all.
    if (static_cast<int64_t>(index.blocks.size()) != (index.fileSize + blockSize - 1) / blockSize)
        throw TarvosError("The file changed while its index was made: " + fileName);
    index.fileDigest = whole.Digest();
    return index;
}

std::string WriteBlockIndex(const BlockIndex& index) {
    std::string out(kMagic, 4);
    PutLe(out, static_cast<uint64_t>(index.fileSize), 8);
    PutLe(out, index.blockSize, 4);
    out.append(reinterpret_cast<const char*>(index.fileDigest.data()), 16);
    for (const auto& b : index.blocks) {
        PutLe(out, b.weak, 4);
        out.append(reinterpret_cast<const char*>(b.strong.data()), 16);
    }
    const auto seal = Md5Of(out.data(), out.size());
    out.append(reinterpret_cast<const char*>(seal.data()), 16);
    return out;
}

bool ReadBlockIndex(const void* data, size_t size, BlockIndex& index) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (size < kHeadSize + 16 || std::memcmp(p, kMagic, 4) != 0) return false;
    const uint64_t fileSize = GetLe(p + 4, 8);
    const uint64_t blockSize = GetLe(p + 12, 4);
    if (fileSize > (uint64_t{1} << 52)) return false;
    // Only the size the publisher chooses: a larger block makes every strong check of the
    // scan dearer, and nothing the publisher wrote needs another.
    if (blockSize != ChooseBlockSize(static_cast<int64_t>(fileSize))) return false;
    const uint64_t count = (fileSize + blockSize - 1) / blockSize;
    if (count != (size - kHeadSize - 16) / kEntrySize || (size - kHeadSize - 16) % kEntrySize != 0) return false;
    if (std::memcmp(Md5Of(p, size - 16).data(), p + size - 16, 16) != 0) return false;
    BlockIndex read;
    read.fileSize = static_cast<int64_t>(fileSize);
    read.blockSize = static_cast<uint32_t>(blockSize);
    std::memcpy(read.fileDigest.data(), p + 16, 16);
    read.blocks.resize(count);
    const uint8_t* e = p + kHeadSize;
    for (auto& b : read.blocks) {
        b.weak = static_cast<uint32_t>(GetLe(e, 4));
        std::memcpy(b.strong.data(), e + 4, 16);
        e += kEntrySize;
    }
    index = std::move(read);
    return true;
}

}  // namespace tarvos
