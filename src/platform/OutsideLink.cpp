#include "platform/OutsideLink.hpp"

#include <cctype>
#include <string>

namespace tarvos {

bool IsOpenableLink(std::string_view url) {
    // Blanks, quotes and control characters never occur in an address a browser hands over;
    // a shell could read them as the end of the address or as a further argument.
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F || c == '"') return false;
    const auto colon = url.find(':');
    if (colon == std::string_view::npos) return false;
    std::string scheme(url.substr(0, colon));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view rest = url.substr(colon + 1);
    if (scheme == "mailto") return !rest.empty();
    if (scheme != "http" && scheme != "https") return false;
    // "http:\\host\share" or "http:/x" would be taken for a path by some handlers.
    return rest.size() > 2 && rest.substr(0, 2) == "//" && rest[2] != '/' && rest[2] != '\\';
}

}  // namespace tarvos
