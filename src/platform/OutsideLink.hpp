#pragma once
#include <string>
#include <string_view>

namespace tarvos {

// Whether a link may be handed to the desktop's default handler: an absolute http or https
// address with a host, or a mailto address. Anything else (file: and other registered
// schemes, drive paths, shares, script and relative links) could start a program without
// the player's knowing, from a news page that travelled over plain HTTP.
// Characters outside ASCII in the scheme or the host are refused: a look-alike host must
// not pass for the one it imitates.
bool IsOpenableLink(std::string_view url);

// The link to hand over for an openable one (a mail link without its query, which could
// attach files or add recipients); empty for any other.
std::string OpenableLink(std::string_view url);

}  // namespace tarvos
