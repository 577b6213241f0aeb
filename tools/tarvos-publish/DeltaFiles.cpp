#include "DeltaFiles.hpp"

#include <fstream>

#include "Pack.hpp"
#include "System.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"
#include "transfer/BlockIndex.hpp"

namespace tarvos::publish {
namespace fs = std::filesystem;

fs::path IndexOf(const fs::path& archive) { return fs::path(archive).concat("i"); }
fs::path CopyOf(const fs::path& archive) { return fs::path(archive).concat("r"); }

bool HasDeltaFiles(const SourceFile& file) {
    std::error_code ec;
    return fs::is_regular_file(IndexOf(file.archive), ec) && fs::is_regular_file(CopyOf(file.archive), ec) &&
           fs::file_size(CopyOf(file.archive), ec) == static_cast<uintmax_t>(file.size);
}

int64_t WriteDeltaFiles(const SourceFile& file) {
    const fs::path copy = CopyOf(file.archive), index = IndexOf(file.archive);
    const fs::path copyPartial = PartialOf(copy), indexPartial = PartialOf(index);
    std::error_code ec;
    fs::create_directories(file.archive.parent_path(), ec);
    if (!fs::copy_file(file.path, copyPartial, fs::copy_options::overwrite_existing, ec))
        throw TarvosError("cannot copy " + PathToUtf8(file.path) + ": " + ec.message());
    // The index is made from the copy: the game folder's file may change meanwhile.
    const std::string bytes =
        WriteBlockIndex(MakeBlockIndex(PathToUtf8(copyPartial), ChooseBlockSize(file.size)));
    {
        std::ofstream out(indexPartial, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) throw TarvosError("cannot write " + PathToUtf8(indexPartial));
    }
    MoveIntoPlace(copyPartial, copy);
    MoveIntoPlace(indexPartial, index);
    return file.size + static_cast<int64_t>(bytes.size());
}

bool RemoveDeltaFiles(const fs::path& archive) {
    std::error_code ec;
    const bool index = fs::remove(IndexOf(archive), ec);
    const bool copy = fs::remove(CopyOf(archive), ec);
    return index || copy;
}

}  // namespace tarvos::publish
