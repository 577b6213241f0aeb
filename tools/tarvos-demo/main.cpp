// tarvos-demo: one update of a game folder from an update server, built from the real
// downloader, unpackers, file list and digests. It shows the transfer and unpacking layers
// working together until the launcher's own update run drives them.
//   tarvos-demo SERVER_PREFIX GAME_FOLDER
// Exit code 0 when every listed file is present and verified afterwards.
#include <cstdio>
#include <filesystem>
#include <string>

#include "inventory/CustomMD5.hpp"
#include "inventory/uClasses.hpp"
#include "platform/Text.hpp"
#include "transfer/DownloadMultiThread.hpp"
#include "transfer/RAR.hpp"
#include "transfer/UpdaterDecompress.hpp"

using namespace tarvos;

namespace {

void ShowProgress(TDownloadMultiThread&, int64_t loaded, int64_t size) {
    int percent = size > 0 ? static_cast<int>(loaded * 100 / size) : 0;
    std::fprintf(stderr, "\r  %3d%% %lld/%lld bytes", percent, static_cast<long long>(loaded),
                 static_cast<long long>(size));
}

bool Fetch(TDownloadMultiThread& dm, const std::string& url, const std::string& file) {
    dm.GetFile(url, file);
    std::fprintf(stderr, "\n");
    return !dm.HaveError;
}

std::string DigestOrEmpty(const std::string& file) {
    if (!std::filesystem::exists(PathFromUtf8(file))) return std::string(kEmptyDigest);
    return FileMD5(file);
}

// Brings one listed file up to date; true when it matches the list afterwards.
bool Repair(TDownloadMultiThread& dm, const std::string& server, const std::string& game,
            const std::string& work, const TFileRecord& rec) {
    const std::string target = game + rec.Name;
    if (DigestOrEmpty(target) == rec.Hash) {
        std::printf("up to date  %s\n", rec.Name.c_str());
        return true;
    }
    const std::string packed = work + "\\$tmp.ta2";
    std::printf("download    %s\n", rec.Name.c_str());
    if (!Fetch(dm, server + rec.Name + ".ta2", packed)) return false;
    if (!rec.HashPacked.empty() && rec.HashPacked != kEmptyDigest && FileMD5(packed) != rec.HashPacked) {
        std::printf("hash error  %s (packed)\n", rec.Name.c_str());
        return false;
    }
    const std::string folder = target.substr(0, target.rfind('\\'));
    std::filesystem::create_directories(PathFromUtf8(folder));
    UnRarFile(packed, folder);
    std::filesystem::remove(PathFromUtf8(packed));
    const bool ok = DigestOrEmpty(target) == rec.Hash;
    std::printf("%s %s\n", ok ? "unpacked   " : "hash error ", rec.Name.c_str());
    return ok;
}

int Run(const std::string& server, const std::string& game) {
    const std::string work = game + "\\updater";
    std::filesystem::create_directories(PathFromUtf8(work));
    TDownloadMultiThread dm;
    dm.SetThreads(6);
    dm.OnProgress = ShowProgress;
    std::printf("file list   %supdater.lst.ta2\n", server.c_str());
    if (!Fetch(dm, server + "updater.lst.ta2", work + "\\$tmp.ta2")) {
        std::printf("the update server did not deliver its file list\n");
        return 1;
    }
    BZDecompressFile(work + "\\$tmp.ta2", game + "\\updater.lst");
    std::filesystem::remove(PathFromUtf8(work + "\\$tmp.ta2"));
    TFileList list(true);
    list.LoadFromFile(game + "\\updater.lst");
    int failed = 0;
    for (int32_t i = 0; i < list.Count(); ++i)
        if (!Repair(dm, server, game, work, list.GetItemByID(i)->Content)) ++failed;
    std::printf("%d files listed, %d not up to date\n", list.Count(), failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // keep status lines in order with the progress on stderr
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarvos-demo SERVER_PREFIX GAME_FOLDER\n");
        return 2;
    }
    try {
        return Run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvos-demo: %s\n", e.what());
        return 1;
    }
}
