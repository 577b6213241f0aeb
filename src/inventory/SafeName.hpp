#pragma once
#include <string_view>

namespace tarvos {

// Whether a path relative to the game folder ("system\t2.ini", separators "\" or "/") stays
// inside that folder on every platform: no empty, "." or ".." component, no component ending
// in "." or a blank (Windows drops those, so "..." and ".. " would climb), no drive letter or
// colon, no leading separator or share, and no character that Windows cannot store in a name.
// Names that fail come from a broken or hostile server and are never fetched, written or
// deleted.
bool IsSafeRelativePath(std::string_view path);

// The same for a name in list form, which begins with its single "\" ("\system\t2.ini").
bool IsSafeListName(std::string_view name);

}  // namespace tarvos
