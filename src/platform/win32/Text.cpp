#include <windows.h>

#include "platform/Text.hpp"

namespace tarvos {

namespace {
std::wstring Wide(std::string_view utf8) {
    std::u16string w = Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}
std::string Narrow(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }
}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
    if (ansi.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
    return Narrow(w);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    if (utf8.empty()) return {};
    std::wstring w = Wide(utf8);
    int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string LowerUser(std::string_view utf8) {
    std::wstring w = Wide(utf8);
    if (!w.empty()) CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
    return Narrow(w);
}

}  // namespace tarvos
