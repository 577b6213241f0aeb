#include "inventory/SafeName.hpp"

namespace tarvos {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsForbiddenChar(unsigned char c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return true;
        default:
            return false;
    }
}

bool IsSafeComponent(std::string_view c) {
    if (c.empty()) return false;
    const char last = c.back();
    if (last == '.' || last == ' ') return false;  // covers "." and ".." too
    for (unsigned char ch : c)
        if (IsForbiddenChar(ch)) return false;
    return true;
}

}  // namespace

bool IsSafeRelativePath(std::string_view path) {
    if (path.empty() || IsSeparator(path.front())) return false;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (!IsSafeComponent(path.substr(start, end - start))) return false;
        if (end == path.size()) return true;
        start = end + 1;
    }
}

bool IsSafeListName(std::string_view name) {
    return name.size() > 1 && name.front() == '\\' && IsSafeRelativePath(name.substr(1));
}

}  // namespace tarvos
