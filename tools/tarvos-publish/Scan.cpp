#include "Scan.hpp"

#include <unordered_map>

#include "System.hpp"
#include "platform/FileTimes.hpp"
#include "inventory/SafeName.hpp"
#include "inventory/uClasses.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos::publish {

// Read as the launcher reads an installed file, so that the list's date is the one the
// player's size-and-date check will find.
double LocalDateOfFile(const std::filesystem::path& file) {
    const auto entry = ReadSizeAndDate(PathToUtf8(file));
    if (!entry) throw TarvosError("Cannot read the date of " + PathToUtf8(file));
    return entry->Date;
}
namespace fs = std::filesystem;

namespace {

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : 4;
        if (n == 4 || s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

// The list name of a path below the game folder, or an explanation why there is none.
std::string NameOf(const fs::path& relative, std::string& why) {
    std::string name;
    for (const auto& part : relative) {
        std::string text = PathToUtf8(part);
        if (text.find('\\') != std::string::npos) {
            why = "a backslash inside a name would read as a folder separator";
            return {};
        }
        name += '\\';
        name += text;
    }
    if (!IsUtf8(name)) {
        why = "the name is not valid UTF-8";
        return {};
    }
    if (!IsSafeListName(name)) {
        why =
            "the launcher refuses this name (a part ending in a dot or blank, or a character Windows cannot "
            "store)";
        return {};
    }
    return name;
}

}  // namespace

std::string ListNameOf(std::string_view relative) {
    std::string name = TrimText(relative);
    for (auto& c : name)
        if (c == '/') c = '\\';
    if (name.empty() || name.front() != '\\') name.insert(name.begin(), '\\');
    return IsSafeListName(name) ? name : std::string();
}

fs::path ArchiveOf(const fs::path& server, const std::string& listName) {
    return server / PathFromUtf8(listName.substr(1) + ".ta2");
}

ScanResult ScanGameFolder(const fs::path& game, const fs::path& server) {
    ScanResult result;
    std::unordered_map<std::string, std::string> keys;  // key -> the first name with it
    std::error_code ec;
    fs::recursive_directory_iterator it(game, fs::directory_options::none, ec), end;
    if (ec) throw TarvosError("Cannot read the folder " + PathToUtf8(game) + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec) {
            result.errors.push_back("cannot read " + PathToUtf8(it->path()) + ": " + ec.message());
            ec.clear();
            continue;
        }
        const fs::directory_entry& entry = *it;
        if (entry.is_directory(ec)) continue;
        const fs::path relative = entry.path().lexically_relative(game);
        if (!entry.is_regular_file(ec)) {
            result.errors.push_back(PathToUtf8(relative) + ": not a regular file (or a broken link)");
            continue;
        }
        std::string why;
        std::string name = NameOf(relative, why);
        if (name.empty()) {
            result.errors.push_back(PathToUtf8(relative) + ": " + why);
            continue;
        }
        std::string key = TFileList::KeyOf(name);
        if (key == "\\updater.lst") {
            result.errors.push_back(name + ": the launcher keeps its file list under this name");
            continue;
        }
        auto [known, fresh] = keys.emplace(key, name);
        if (!fresh) {
            result.errors.push_back(name + ": the launcher takes it for " + known->second +
                                    " (names differ only in letter case)");
            continue;
        }
        SourceFile file;
        file.name = std::move(name);
        file.path = entry.path();
        file.archive = ArchiveOf(server, file.name);
        try {
            file.size = static_cast<int64_t>(entry.file_size());
            file.date = LocalDateOfFile(file.path);
        } catch (const std::exception& e) {
            result.errors.push_back(file.name + ": " + e.what());
            continue;
        }
        result.files.push_back(std::move(file));
    }
    return result;
}

}  // namespace tarvos::publish
