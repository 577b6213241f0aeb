#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "Scan.hpp"

namespace tarvos::publish {

// The files that let a launcher fetch only the changed blocks of a big file: its block
// index and an uncompressed copy for ranged requests. Their names end in ".ta2i" and
// ".ta2r", which no launcher without the delta path ever asks for, and which no archive
// name (always ending in ".ta2") can take.
std::filesystem::path IndexOf(const std::filesystem::path& archive);
std::filesystem::path CopyOf(const std::filesystem::path& archive);

// Writes both for the file (under temporary names, then moved into place: the copy first,
// so that an index never describes a copy that is not there yet). Returns the bytes the two
// take on the server; throws TarvosError when the file cannot be read.
int64_t WriteDeltaFiles(const SourceFile& file);
bool HasDeltaFiles(const SourceFile& file);
// Removes both, if they exist; true when something was removed.
bool RemoveDeltaFiles(const std::filesystem::path& archive);

}  // namespace tarvos::publish
