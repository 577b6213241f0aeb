#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarvos {

// What a signed list says about its release beyond the files: a serial that only grows from
// one release to the next, when it stops being current, and the key that is to follow the
// present one. It travels as one line of the list's file section, before the first file line:
//   *release serial=12 expires=2027-01-09T04:00:00Z nextkey=<64 hexadecimal digits>
// Words are NAME=VALUE, separated by blanks. serial (1 to 18 digits) is required; expires
// (UTC, to the second) and nextkey may be left out; words of another name are passed over,
// so that a later publisher may add some. A malformed line, or a second one, refuses the list. The line holds no "|", so launchers that know nothing of it take it
// for a malformed line and pass over it. A list without the line has serial 0 and no expiry.
struct ListRelease {
    uint64_t serial = 0;
    int64_t expires = 0;  // seconds since 1970-01-01 UTC; 0: never
    std::string nextKey;  // the announced key's text, or empty
};

inline constexpr char kReleaseLineHead[] = "*release";

// Finds the release line among the lines of a list's file section (the lines before the
// first "#" line) and reads it into `release`; the reason when it is malformed or there are
// two. A list without one leaves `release` as it is.
std::string ReadListRelease(const std::vector<std::string>& lines, ListRelease& release);
std::string ListReleaseLine(const ListRelease& release);

// "2027-01-09T04:00:00Z" and back; false for any other text.
std::string UtcText(int64_t seconds);
bool ParseUtcText(const std::string& text, int64_t& seconds);

}  // namespace tarvos
