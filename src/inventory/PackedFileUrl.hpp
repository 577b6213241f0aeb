#pragma once
#include <string>

namespace tarvos {

// The URL of a listed file's packed form on an update server. serverUrl is the server entry
// as the operator wrote it (ending in "/" or "\") and is kept as it is; listName is the
// list's name ("\system\Track #1.ogg"). Every byte of each path part outside A-Z a-z 0-9
// - . _ ~ is percent-encoded, so that "#", "%", "?", blanks and letters beyond ASCII reach
// the server as part of the name instead of starting a fragment or a query.
std::string PackedFileUrl(const std::string& serverUrl, const std::string& listName);

}  // namespace tarvos
