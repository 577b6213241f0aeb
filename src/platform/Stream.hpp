#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvos {

enum class SeekOrigin { Begin, Current, End };

// A byte stream with a position: what the unpacking routines, digests and loaders read
// from and write to, whether the bytes live in memory or in a file.
class Stream {
public:
    virtual ~Stream() = default;

    // Reads up to count bytes at the position; fewer only at the end of the data.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes count bytes at the position, growing the stream as needed; returns how many
    // were written (fewer only when the medium refuses).
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position and returns the new one; a position before 0 is refused.
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t Position() const = 0;
    virtual int64_t Size() const = 0;

    // Exact-size transfers: a short read or write is an error ("Stream read error",
    // "Stream write error").
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);

protected:
    Stream() = default;
    Stream(const Stream&) = default;
    Stream& operator=(const Stream&) = default;
};

}  // namespace tarvos
