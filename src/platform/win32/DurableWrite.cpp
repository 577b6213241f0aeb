#include "platform/DurableWrite.hpp"

#include <windows.h>

#include "platform/Text.hpp"

namespace tarvos {

// MoveFileEx with WRITE_THROUGH returns only once the rename is on the disk; the folder
// needs no flush of its own on Windows.
bool WriteFileDurably(const std::string& fileName, std::string_view bytes) {
    const std::wstring path = PathFromUtf8(fileName).wstring(), fresh = path + L".new";
    HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (ok && MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileW(fresh.c_str());
    return false;
}

}  // namespace tarvos
