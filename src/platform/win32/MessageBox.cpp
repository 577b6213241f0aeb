#include <windows.h>

#include "platform/MessageBox.hpp"
#include "platform/Text.hpp"

namespace tarvos {

void ShowMessageBox(const std::string& title, const std::string& text) {
    std::u16string t = Utf8ToUtf16(title), m = Utf8ToUtf16(text);
    MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(m.c_str()), reinterpret_cast<LPCWSTR>(t.c_str()),
                MB_OK | MB_ICONERROR);
}

}  // namespace tarvos
