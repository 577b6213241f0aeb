#include <cwctype>

#include "platform/Text.hpp"

namespace tarvos {

// On Linux the ANSI code page is UTF-8.
std::string AnsiToUtf8(std::string_view ansi) { return std::string(ansi); }
std::string Utf8ToAnsi(std::string_view utf8) { return std::string(utf8); }

std::string LowerUser(std::string_view utf8) {
    // Fast path for the common all-ASCII case (file names, keys).
    bool ascii = true;
    for (unsigned char c : utf8)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        std::string out(utf8);
        for (auto& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return out;
    }
    std::u16string w = Utf8ToUtf16(utf8);
    for (auto& u : w)
        if (u < 0xD800 || u >= 0xE000) u = static_cast<char16_t>(std::towlower(static_cast<wint_t>(u)));
    return Utf16ToUtf8(w);
}

}  // namespace tarvos
