#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvos {

// A file written at explicit offsets, safe for several threads writing disjoint ranges at
// once (each download piece writes its own range of the target as data arrives).
class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Creates the file, truncating an existing one unless `truncate` is false (then its
    // bytes stay as they are); false when it cannot be created or opened.
    bool Create(const std::string& fileName, bool truncate = true);
    // Sets the length; bytes beyond the old end read back as zeros (no zeros are written).
    bool SetSize(int64_t size);
    // Writes all of data at offset; false on any failure.
    bool WriteAt(int64_t offset, const void* data, size_t length);
    void Close();
    bool IsOpen() const;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// Deletes a file; false when it could not be deleted.
bool DeleteFileUtf8(const std::string& fileName);

}  // namespace tarvos
