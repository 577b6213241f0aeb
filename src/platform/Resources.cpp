#include "platform/Resources.hpp"

#include <algorithm>
#include <cctype>

namespace tarvos {

std::span<const std::uint8_t> MemoryResources::RawData(const std::string& name) const {
    auto lower = [](unsigned char c) { return std::tolower(c); };
    bool same = name.size() == name_.size() &&
                std::equal(name.begin(), name.end(), name_.begin(),
                           [&](char a, char b) { return lower(a) == lower(b); });
    return same ? bytes_ : std::span<const std::uint8_t>();
}

}  // namespace tarvos
