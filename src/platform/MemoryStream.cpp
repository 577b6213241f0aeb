#include "platform/MemoryStream.hpp"

#include <algorithm>
#include <cstring>

#include "platform/Error.hpp"

namespace tarvos {

size_t MemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= Size() || count == 0) return 0;
    size_t n = std::min(count, static_cast<size_t>(Size() - position_));
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t MemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    size_t end = static_cast<size_t>(position_) + count;
    if (end > bytes_.size()) bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ = static_cast<int64_t>(end);
    return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
    if (base + offset < 0) throw TarvosError("Invalid stream position");
    position_ = base + offset;
    return position_;
}

void MemoryStream::SetSize(int64_t size) {
    if (size < 0) throw TarvosError("Invalid stream size");
    bytes_.resize(static_cast<size_t>(size));
}

void MemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

}  // namespace tarvos
