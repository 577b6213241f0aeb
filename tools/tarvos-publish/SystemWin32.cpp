#include <io.h>
#include <windows.h>
// sddl.h needs the types of windows.h
#include <sddl.h>

#include <cstdio>
#include <mutex>

#include "System.hpp"
#include "platform/DateTime.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos::publish {

namespace {

bool IsProgramFile(const std::filesystem::path& p) {
    DWORD attributes = GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Wide(const std::string& utf8) {
    std::u16string w = Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

// One argument quoted so that the program's start-up code splits it back unchanged.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

// Inheritable pipe ends exist only between their creation and the child's start; holding
// this lock across that span keeps them out of children started by other threads.
std::mutex spawnLock;

}  // namespace

std::optional<std::filesystem::path> FindProgram(const std::string& name) {
    std::filesystem::path given = PathFromUtf8(name);
    if (name.find_first_of("\\/:") != std::string::npos) {
        if (IsProgramFile(given)) return given;
        if (!given.has_extension() && IsProgramFile(std::filesystem::path(given).concat(L".exe")))
            return std::filesystem::path(given).concat(L".exe");
        return std::nullopt;
    }
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring dirs(size, L'\0');
    dirs.resize(GetEnvironmentVariableW(L"PATH", dirs.data(), size));
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(L';', start);
        std::wstring dir = dirs.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!dir.empty()) {
            std::filesystem::path candidate = std::filesystem::path(dir) / given;
            if (given.has_extension() && IsProgramFile(candidate)) return candidate;
            if (IsProgramFile(std::filesystem::path(candidate).concat(L".exe")))
                return std::filesystem::path(candidate).concat(L".exe");
        }
        if (end == std::wstring::npos) return std::nullopt;
        start = end + 1;
    }
}

ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
    std::wstring line;
    AppendQuoted(line, program.wstring());
    for (const auto& a : args) {
        line += L' ';
        AppendQuoted(line, Wide(a));
    }
    Handle readEnd, process, thread;
    {
        std::lock_guard<std::mutex> lock(spawnLock);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        Handle writeEnd, input;
        if (!CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0)) throw TarvosError("Cannot create a pipe");
        SetHandleInformation(readEnd.h, HANDLE_FLAG_INHERIT, 0);
        input.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = input.h;
        si.hStdOutput = writeEnd.h;
        si.hStdError = writeEnd.h;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                            nullptr, &si, &pi))
            throw TarvosError("Cannot start " + PathToUtf8(program) + " (error " +
                              std::to_string(GetLastError()) + ")");
        process.h = pi.hProcess;
        thread.h = pi.hThread;
    }
    ProcessResult result;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(readEnd.h, buffer, sizeof buffer, &n, nullptr) && n > 0) result.output.append(buffer, n);
    WaitForSingleObject(process.h, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.h, &code);
    result.exitCode = static_cast<int>(code);
    return result;
}

void MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw TarvosError("Cannot move " + PathToUtf8(from) + " to " + PathToUtf8(to) + " (error " +
                          std::to_string(GetLastError()) + ")");
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void WriteOwnerOnlyFile(const std::filesystem::path& file, const std::string& bytes) {
    // A protected access list with one entry: full access for the file's owner, nobody else.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        throw TarvosError("Cannot make the access list of " + PathToUtf8(file));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(descriptor);
    if (h == INVALID_HANDLE_VALUE)
        throw TarvosError("Cannot create file " + PathToUtf8(file) + " (error " + std::to_string(GetLastError()) + ")");
    DWORD written = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(h);
    if (!ok) {
        DeleteFileW(file.c_str());
        throw TarvosError("Cannot write file " + PathToUtf8(file));
    }
}

}  // namespace tarvos::publish
