#include "ListFiles.hpp"

#include <fstream>
#include <iterator>

#include "Scan.hpp"
#include "System.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"
#include "transfer/UpdaterDecompress.hpp"

namespace tarvos::publish {
namespace fs = std::filesystem;

std::unique_ptr<TFileList> ReadPublishedList(const fs::path& server) {
    auto list = std::make_unique<TFileList>(true);
    const fs::path file = server / "updater.lst";
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return list;
    std::vector<std::string> lines = ReadTextLines(PathToUtf8(file));
    for (size_t i = 0; i < lines.size(); ++i) {
        if (TrimText(lines[i]).starts_with("#")) {
            lines.resize(i);
            break;
        }
    }
    list->LoadFromStrings(lines);
    return list;
}

std::vector<std::string> ReadNameFile(const fs::path& file, std::vector<std::string>& errors) {
    std::vector<std::string> names;
    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(PathToUtf8(file));
    } catch (const TarvosError& e) {
        errors.push_back(e.what());
        return names;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (TrimText(lines[i]).empty()) continue;
        std::string name = ListNameOf(lines[i]);
        if (name.empty()) {
            errors.push_back(PathToUtf8(file) + " line " + std::to_string(i + 1) +
                             ": the launcher refuses the name \"" + TrimText(lines[i]) + "\"");
            continue;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> ListLines(const TFileList& files, const std::vector<std::string>& required,
                                   const std::vector<std::string>& deleted) {
    std::vector<std::string> lines;
    files.SaveToStrings(&lines);
    if (required.empty() && deleted.empty()) return lines;
    lines.push_back("#");
    lines.insert(lines.end(), required.begin(), required.end());
    if (!deleted.empty()) {
        lines.push_back("@");
        lines.insert(lines.end(), deleted.begin(), deleted.end());
    }
    return lines;
}

namespace {

void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw TarvosError("Cannot write file " + PathToUtf8(file));
}

}  // namespace

ListSecretKey ReadSecretKeyFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw TarvosError("Cannot read the key file " + PathToUtf8(file));
    if (text.empty()) throw TarvosError("Cannot read the key file " + PathToUtf8(file));
    const auto key = ParseSecretKey(text);
    if (!key)
        throw TarvosError(PathToUtf8(file) + " is not a secret key written by tarvos-publish keygen (is it the .pub file?)");
    return *key;
}

ListRelease ReadPublishedRelease(const fs::path& server) {
    ListRelease release;
    const fs::path file = server / "updater.lst";
    std::error_code ec;
    if (fs::is_regular_file(file, ec)) ReadListRelease(ReadTextLines(PathToUtf8(file)), release);
    return release;
}

int64_t WriteListFiles(const fs::path& server, const std::vector<std::string>& lines,
                       const std::vector<ListSecretKey>& keys) {
    std::string text;
    for (const auto& line : lines) text.append(line).append("\r\n");
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    if (!ascii) text.insert(0, "\xEF\xBB\xBF");
    if (text.empty()) throw TarvosError("Nothing to publish: the game folder holds no file");

    const fs::path list = server / "updater.lst", packed = server / "updater.lst.ta2";
    const fs::path listPart = fs::path(list).concat(".publishing"),
                   packedPart = fs::path(packed).concat(".publishing");
    const fs::path signature = server / "updater.lst.ta2.sig", signaturePart = fs::path(signature).concat(".publishing");
    WriteBytes(listPart, text);
    BZCompressFile(PathToUtf8(listPart), PathToUtf8(packedPart));
    if (!keys.empty()) {
        std::ifstream in(packedPart, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string signatures;
        for (const auto& key : keys) signatures += SignList(bytes, key);
        WriteBytes(signaturePart, signatures);
    }
    MoveIntoPlace(listPart, list);
    MoveIntoPlace(packedPart, packed);
    // Signature last and right after its list: a launcher in between meets a mismatch,
    // refuses the list for that run and takes the pair at its next start.
    if (!keys.empty()) {
        MoveIntoPlace(signaturePart, signature);
    } else {
        std::error_code ec;
        fs::remove(signature, ec);
    }
    return static_cast<int64_t>(fs::file_size(packed));
}

}  // namespace tarvos::publish
