#include "platform/DurableWrite.hpp"

#include <fstream>

#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Text.hpp"

namespace tarvos {

bool WriteFileDurably(const std::string& fileName, std::string_view bytes) {
    const std::string fresh = fileName + ".new";
    {
        std::ofstream out(PathFromUtf8(fresh), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            DeleteFileUtf8(fresh);
            return false;
        }
    }
    // The replacement flushes the new bytes before its rename and the folder after it.
    if (ReplaceFileUtf8(fresh, fileName)) return true;
    DeleteFileUtf8(fresh);
    return false;
}

}  // namespace tarvos
