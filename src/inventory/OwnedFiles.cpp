#include "inventory/OwnedFiles.hpp"

#include <algorithm>

#include "platform/Text.hpp"

namespace tarvos {
namespace {

// Names and patterns compared in one form: lower case, "\" between levels, no leading "\".
std::string Canonical(const std::string& name) {
    std::string s = LowerUser(TrimText(name));
    std::replace(s.begin(), s.end(), '/', '\\');
    const size_t first = s.find_first_not_of('\\');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// Wildcards never cross a folder level: "system\*.ini" is not "system\sub\x.ini".
bool Matches(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    while (pi < p.size()) {
        if (p[pi] == '*') {
            for (size_t k = ni;; ++k) {
                if (Matches(p, pi + 1, n, k)) return true;
                if (k >= n.size() || n[k] == '\\') return false;
            }
        }
        if (ni >= n.size()) return false;
        if (p[pi] == '?' ? n[ni] == '\\' : p[pi] != n[ni]) return false;
        ++pi;
        ++ni;
    }
    return ni == n.size();
}

}  // namespace

TOwnedFiles::TOwnedFiles(const std::string& setting) {
    size_t start = 0;
    while (start <= setting.size()) {
        const size_t bar = std::min(setting.find('|', start), setting.size());
        std::string p = Canonical(setting.substr(start, bar - start));
        if (!p.empty()) patterns_.push_back(std::move(p));
        start = bar + 1;
    }
}

bool TOwnedFiles::Owns(const std::string& listName) const {
    if (patterns_.empty()) return false;
    const std::string n = Canonical(listName);
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&](const std::string& p) { return Matches(p, 0, n, 0); });
}

}  // namespace tarvos
