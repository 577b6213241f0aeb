#pragma once
#include <cstdint>
#include <string>

#include "platform/Stream.hpp"

namespace tarvos {

// How a file is opened and what other openers may do meanwhile. Windows enforces the
// sharing part; Linux has no mandatory share modes, so there it only selects the access.
enum class FileMode {
    OpenRead,                // read; others may read and write
    OpenReadShareDenyWrite,  // read; nobody may hold it open for writing
    OpenReadWriteExclusive,  // read and write an existing file; nobody else may open it
    Create,                  // create or replace, read and write; others may only read
};

// A file as a stream, closed by its destructor. Opening failures throw TarvosError
// "Cannot open file %s" (or "Cannot create file %s" for FileMode::Create).
class FileStream final : public Stream {
public:
    FileStream(const std::string& fileName, FileMode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Position() const override { return position_; }
    int64_t Size() const override;

    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    std::intptr_t handle_ = -1;  // a descriptor on Linux, a HANDLE on Windows
    int64_t position_ = 0;
};

}  // namespace tarvos
