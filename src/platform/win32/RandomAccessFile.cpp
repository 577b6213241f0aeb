#include "platform/RandomAccessFile.hpp"

#include <windows.h>

#include "platform/Text.hpp"

namespace tarvos {

RandomAccessFile::~RandomAccessFile() { Close(); }

bool RandomAccessFile::Create(const std::string& fileName, bool truncate) {
    Close();
    HANDLE h = CreateFileW(PathFromUtf8(fileName).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    return true;
}

bool RandomAccessFile::SetSize(int64_t size) {
    if (!handle_) return false;
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    return SetFilePointerEx(handle_, pos, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
}

bool RandomAccessFile::WriteAt(int64_t offset, const void* data, size_t length) {
    auto* p = static_cast<const char*>(data);
    while (length > 0) {
        // The offset travels in the OVERLAPPED structure, so concurrent writers never share
        // a file pointer.
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
        ov.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD chunk = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(handle_, p, chunk, &written, &ov) || written == 0) return false;
        p += written;
        offset += written;
        length -= written;
    }
    return true;
}

void RandomAccessFile::Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
}

bool RandomAccessFile::IsOpen() const { return handle_ != nullptr; }

bool DeleteFileUtf8(const std::string& fileName) { return DeleteFileW(PathFromUtf8(fileName).c_str()) != 0; }

}  // namespace tarvos
