#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/ListRelease.hpp"

namespace tarvos {

// What the launcher makes of the packed list (and signature) a server gave it.
struct ListCheck {
    std::string refused;               // why the list must not be used; empty when it may
    std::vector<std::string> lines;    // the list's lines, unpacked from the very bytes checked
    std::vector<std::string> dropped;  // names taken out: no signed digest would cover them
    ListRelease release;
};

// Without a key the list is only unpacked. With one, it must carry a signature by that key,
// must not have expired by `now` (seconds since 1970 UTC), and its release serial must not be
// lower than the highest this game folder has accepted, which `serialFile` keeps and which a
// higher one replaces. A mirror could otherwise serve an older release's signed list (and
// with it an older launcher and older files), or the present one for ever.
ListCheck CheckFetchedList(std::string_view packed, std::string_view signature, const std::string& key,
                           const std::string& serialFile, int64_t now);

// The serial `serialFile` keeps; 0 when there is none or it cannot be read.
uint64_t AcceptedSerial(const std::string& serialFile);

}  // namespace tarvos
