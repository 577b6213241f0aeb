#pragma once
#include <string_view>

namespace tarvos {

// Whether a link may be handed to the desktop's default handler: an absolute http or https
// address with a host, or a mailto address. Anything else (file: and other registered
// schemes, drive paths, shares, script and relative links) could start a program without
// the player's knowing, from a news page that travelled over plain HTTP.
bool IsOpenableLink(std::string_view url);

}  // namespace tarvos
