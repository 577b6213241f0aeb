#include "platform/Shell.hpp"

#include <windows.h>
// shellapi.h needs the types of windows.h
#include <shellapi.h>

#include "platform/OutsideLink.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

class Win32Shell final : public Shell {
public:
    bool OpenUrl(const std::string& url) override {
        // The shell's default action on anything but a web or mail address may start a program.
        if (!IsOpenableLink(url)) return false;
        const auto r = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, nullptr, Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return r > 32;
    }

    bool StartElevated(const std::string& file, const std::string& parameters,
                       const std::string& folder) override {
        const std::wstring f = Wide(file), p = Wide(parameters), d = Wide(folder);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC;
        info.lpVerb = L"runas";
        info.lpFile = f.c_str();
        info.lpParameters = p.empty() ? nullptr : p.c_str();
        info.lpDirectory = d.empty() ? nullptr : d.c_str();
        info.nShow = SW_SHOWNORMAL;
        return ShellExecuteExW(&info) != FALSE;
    }
};

}  // namespace

Shell& SystemShell() {
    static Win32Shell shell;
    return shell;
}

std::string ExecutablePath() {
    // The loader keeps the name the program was started under, also after a rename.
    if (!RenamedExecutablePath().empty()) return RenamedExecutablePath();
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return Utf16ToUtf8(std::u16string(buf.begin(), buf.begin() + n));
        buf.resize(buf.size() * 2);
    }
}

}  // namespace tarvos
