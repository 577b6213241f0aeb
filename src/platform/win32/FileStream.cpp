#include "platform/FileStream.hpp"

#include <windows.h>

#include <algorithm>

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
struct OpenSpec {
    DWORD access, share, disposition;
};

OpenSpec SpecFor(FileMode mode) {
    switch (mode) {
        case FileMode::OpenRead: return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
        case FileMode::OpenReadShareDenyWrite: return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
        case FileMode::OpenReadWriteExclusive: return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING};
        case FileMode::Create: return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS};
    }
    return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
}

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxChunk = 1u << 30;
}  // namespace

FileStream::FileStream(const std::string& fileName, FileMode mode) : fileName_(fileName) {
    OpenSpec s = SpecFor(mode);
    HANDLE h = CreateFileW(PathFromUtf8(fileName).c_str(), s.access, s.share, nullptr, s.disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw TarvosError((mode == FileMode::Create ? "Cannot create file " : "Cannot open file ") + fileName);
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

FileStream::~FileStream() {
    if (H(handle_) != INVALID_HANDLE_VALUE) CloseHandle(H(handle_));
}

size_t FileStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
        DWORD n = 0;
        DWORD want = static_cast<DWORD>(std::min(count - done, kMaxChunk));
        if (!ReadFile(H(handle_), p + done, want, &n, nullptr)) throw TarvosError("Cannot read file " + fileName_);
        if (n == 0) break;
        done += n;
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

size_t FileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < count) {
        DWORD n = 0;
        DWORD want = static_cast<DWORD>(std::min(count - done, kMaxChunk));
        if (!WriteFile(H(handle_), p + done, want, &n, nullptr) || n == 0) break;
        done += n;
    }
    position_ += static_cast<int64_t>(done);
    return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER dist, pos;
    dist.QuadPart = offset;
    if (!SetFilePointerEx(H(handle_), dist, &pos, method)) throw TarvosError("Invalid stream position");
    position_ = pos.QuadPart;
    return position_;
}

int64_t FileStream::Size() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(H(handle_), &size)) throw TarvosError("Cannot read file " + fileName_);
    return size.QuadPart;
}

}  // namespace tarvos
