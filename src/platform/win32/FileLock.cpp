#include "platform/FileLock.hpp"

#include <windows.h>

#include "platform/Text.hpp"

namespace tarvos {

bool FileLock::TryAcquire(const std::string& fileName) {
    Release();
    busy_ = false;
    // No sharing at all: a second open fails while this handle lives. The handle is not
    // inheritable, so the game started later does not keep the lock.
    HANDLE h = CreateFileW(PathFromUtf8(fileName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        busy_ = GetLastError() == ERROR_SHARING_VIOLATION;
        return false;
    }
    handle_ = h;
    return true;
}

void FileLock::Release() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool FileLock::Held() const { return handle_ != nullptr; }

}  // namespace tarvos
