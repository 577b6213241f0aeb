#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "inventory/ListRelease.hpp"
#include "inventory/ListSignature.hpp"
#include "inventory/uClasses.hpp"

namespace tarvos::publish {

// The file section of the server folder's "updater.lst" from an earlier run (sorted by
// key); an empty list when there is none.
std::unique_ptr<TFileList> ReadPublishedList(const std::filesystem::path& server);

// A text file of game-relative names, one a line ("system\t2.ini" or "\system\t2.ini";
// blank lines skipped), in list form. Names the launcher would refuse go to errors.
std::vector<std::string> ReadNameFile(const std::filesystem::path& file, std::vector<std::string>& errors);

// The lines of "updater.lst": the file section, then, when there are any, a "#" line with
// the required names and an "@" line with the names to delete.
std::vector<std::string> ListLines(const TFileList& files, const std::vector<std::string>& required,
                                   const std::vector<std::string>& deleted);

// Writes "updater.lst" and its packed form "updater.lst.ta2" into the server folder, each
// under a temporary name first and then moved over the old one, the packed list last.
// Lines with characters beyond ASCII are written as UTF-8 behind a byte-order mark, which
// the launcher reads the same on every code page; pure ASCII needs none. With keys, the
// packed list's detached signatures, one by each key in turn, go beside it as
// "updater.lst.ta2.sig"; without, a signature of an earlier run is removed, since it could
// never match the new list. Returns the size of the packed list.
int64_t WriteListFiles(const std::filesystem::path& server, const std::vector<std::string>& lines,
                       const std::vector<ListSecretKey>& keys);

// The release line of the server folder's "updater.lst" from an earlier run; serial 0 when
// there is none.
ListRelease ReadPublishedRelease(const std::filesystem::path& server);

// The secret key of a key file written by MakeKeys; throws TarvosError when it is unreadable
// or malformed.
ListSecretKey ReadSecretKeyFile(const std::filesystem::path& file);

}  // namespace tarvos::publish
