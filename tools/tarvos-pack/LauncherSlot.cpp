#include "LauncherSlot.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos::pack {

Bytes ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw TarvosError("Cannot open file " + PathToUtf8(path));
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw TarvosError("Cannot create file " + PathToUtf8(path));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw TarvosError("Cannot write file " + PathToUtf8(path));
}

}  // namespace tarvos::pack
