#include "platform/OutsideLink.hpp"

#include <cctype>
#include <string>

namespace tarvos {

namespace {

bool Ascii(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

bool IsOpenableLink(std::string_view url) {
    // Blanks, quotes and control characters never occur in an address a browser hands over;
    // a shell could read them as the end of the address or as a further argument.
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F || c == '"') return false;
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) return false;
    std::string scheme(url.substr(0, colon));
    if (!Ascii(scheme)) return false;
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view rest = url.substr(colon + 1);
    if (scheme == "mailto") {
        const std::string_view address = rest.substr(0, rest.find('?'));
        return !address.empty() && Ascii(address);
    }
    if (scheme != "http" && scheme != "https") return false;
    // "http:\\host\share" or "http:/x" would be taken for a path by some handlers.
    if (rest.size() <= 2 || rest.substr(0, 2) != "//" || rest[2] == '/' || rest[2] == '\\') return false;
    const std::string_view host = rest.substr(2, rest.find_first_of("/?#\\", 2) - 2);
    return Ascii(host) && host.find('%') == std::string_view::npos;
}

std::string OpenableLink(std::string_view url) {
    if (!IsOpenableLink(url)) return {};
    // Of the schemes that pass, only "mailto" has six letters.
    const bool mail = url.find(':') == 6;
    return std::string(mail ? url.substr(0, url.find('?')) : url);
}

}  // namespace tarvos
