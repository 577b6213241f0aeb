#include "platform/Stream.hpp"

#include "platform/Error.hpp"

namespace tarvos {

void Stream::ReadBuffer(void* buffer, size_t count) {
    if (Read(buffer, count) != count) throw TarvosError("Stream read error");
}

void Stream::WriteBuffer(const void* buffer, size_t count) {
    if (Write(buffer, count) != count) throw TarvosError("Stream write error");
}

}  // namespace tarvos
