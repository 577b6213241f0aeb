#include "config/IntegerReading.hpp"

#include <limits>

namespace tarvos {

namespace {
int DigitValue(char c, int base) {
    int v = (c >= '0' && c <= '9') ? c - '0'
          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                   : 99;
    return v < base ? v : -1;
}
}  // namespace

std::optional<std::int64_t> ReadInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16, ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16, i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    // Hexadecimal digits may fill all 64 bits (so "$FFFFFFFF" is -1 in 32 bits); decimal
    // values must stay inside the signed range.
    std::uint64_t value = 0;
    const std::uint64_t limit = base == 16 ? std::numeric_limits<std::uint64_t>::max()
                                           : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + negative;
    for (; i < s.size(); ++i) {
        int d = DigitValue(s[i], base);
        if (d < 0) return std::nullopt;
        if (value > (limit - d) / base) return std::nullopt;
        value = value * base + d;
    }
    if (negative) value = 0 - value;
    return static_cast<std::int64_t>(value);
}

std::int32_t ReadInteger32(std::string_view text) {
    auto v = ReadInteger(text);
    return v ? static_cast<std::int32_t>(static_cast<std::uint32_t>(*v)) : 0;
}

}  // namespace tarvos
