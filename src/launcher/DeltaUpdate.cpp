// A changed big file the player already has, built from its unchanged blocks and ranged
// requests for the rest, when the server publishes a block index for it.
#include <chrono>
#include <memory>

#include "inventory/CustomMD5.hpp"
#include "inventory/PackedFileUrl.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileStream.hpp"
#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"
#include "transfer/BlockDelta.hpp"

namespace tarvos {

namespace {

std::string UrlPath(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

int64_t SizeOf(const std::string& file) {
    try {
        return FileStream(file, FileMode::OpenRead).Size();
    } catch (const std::exception&) {
        return -1;
    }
}

// Hands the fetching threads' byte counts to the main thread a few times a second.
class ProgressRelay {
public:
    ProgressRelay(EventLoop& loop, TDownloadMultiThread& dm) : loop_(loop), dm_(dm) {}
    void operator()(int64_t loaded, int64_t total) {
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        int64_t last = last_;
        if (loaded < total && now - last < 200) return;
        if (!last_.compare_exchange_strong(last, now) && loaded < total) return;
        TDownloadMultiThread* dm = &dm_;
        loop_.Post([dm, loaded, total] {
            if (dm->OnProgress) dm->OnProgress(*dm, loaded, total);
        });
    }

private:
    EventLoop& loop_;
    TDownloadMultiThread& dm_;
    std::atomic<int64_t> last_{0};
};

}  // namespace

// The staged file, or empty when the archive must serve: no index, a damaged one, one of
// another version, a range not served as asked, or a built file whose digest is not the
// list's. The player's file is only read here; it is replaced, as always, by Install.
std::string TFMain::DeltaUpdate(const TFileRecord& rec, const std::string& target, const std::string& staging) {
    if (FileModeOn || rec.Hash == kEmptyDigest || rec.Size < kDeltaFloor) return {};
    if (LowerUser(rec.Name) == LowerUser("\\" + ExeName)) return {};
    if (SizeOf(target) < kDeltaFloor) return {};
    const std::string base = UrlPath(PackedFileUrl(URLMain, rec.Name));  // "….ta2"
    RemoveFolderTreeUtf8(staging);
    CreateFolderUtf8(staging);
    auto build = std::make_unique<DeltaBuild>();
    build->oldFile = target;
    build->url = base + "r";
    build->newFile = staging + "\\" + URLName;
    build->connections = DM->Threads();
    ProgressRelay relay(loop_, *DM);
    build->progress = [&relay](int64_t loaded, int64_t total) { relay(loaded, total); };
    EventLoop& loop = loop_;
    build->stopped = [&loop] { return loop.Terminated(); };
    std::string why;
    int64_t reused = 0;
    bool built = false;
    // Scanning and building take seconds for a big file: the window stays live meanwhile.
    RunWhileProcessing(loop_, [&] {
        try {
            BlockIndex index;
            if (!FetchBlockIndex(base + "i", index, why)) return;
            if (index.FileDigestText() != rec.Hash || index.fileSize != rec.Size) {
                why = "the index is of another version";
                return;
            }
            const DeltaPlan plan = MatchBlocks(index, target, build->stopped);
            reused = index.fileSize - plan.FetchBytes(index);
            if (!BuildFile(index, plan, *build)) {
                why = build->why;
                return;
            }
            if (FileMD5(build->newFile) != rec.Hash) {
                why = "the built file differs from the list";
                return;
            }
            built = true;
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
            why = "unknown error";
        }
    });
    // Whatever the fetching threads posted runs before the archive's progress begins.
    loop_.ProcessMessages();
    if (!built) {
        // Closing: the archive path ends the process as any download does.
        if (!loop_.Terminated()) Log("Delta failed, fetching the archive: " + OldName + ": " + why);
        RemoveFolderTreeUtf8(staging);
        return {};
    }
    Log("Delta: " + OldName + ": " + std::to_string(build->downloaded) + " bytes downloaded, " +
        std::to_string(reused) + " reused");
    return build->newFile;
}

}  // namespace tarvos
