#include "inventory/PackedFileUrl.hpp"

namespace tarvos {
namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void AppendEncoded(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (IsUnreserved(c)) {
        out += static_cast<char>(c);
        return;
    }
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

}  // namespace

std::string PackedFileUrl(const std::string& serverUrl, const std::string& listName) {
    std::string url = serverUrl;
    const size_t start = !listName.empty() && listName.front() == '\\' ? 1 : 0;
    for (size_t i = start; i < listName.size(); ++i) {
        const char c = listName[i];
        if (c == '\\' || c == '/') {
            url += '/';
        } else {
            AppendEncoded(url, static_cast<unsigned char>(c));
        }
    }
    return url + ".ta2";
}

}  // namespace tarvos
