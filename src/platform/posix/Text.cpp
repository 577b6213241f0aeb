#include <locale.h>

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
    // Unicode's simple lower-casing, whatever the process's locale: the C locale folds only
    // ASCII, and then "\\SpielÄ.txt" and "\\spielä.txt" would be two files of one list.
    static const locale_t unicode = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, nullptr)) return l;
        return locale_t{};
    }();
    const std::u16string w = Utf8ToUtf16(utf8);
    std::u16string out;
    out.reserve(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        char32_t c = w[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (w[++i] - 0xDC00);
        if (c < 0xD800 || c >= 0xE000)
            c = static_cast<char32_t>(unicode ? towlower_l(static_cast<wint_t>(c), unicode) : std::towlower(static_cast<wint_t>(c)));
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return Utf16ToUtf8(out);
}

}  // namespace tarvos
