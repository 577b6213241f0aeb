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

// Hands the engine thread's byte counts to the main thread a few times a second.
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
    if (IsLauncherFile(rec.Name)) return {};
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
    TDownloadMultiThread& dm = *DM;
    build->stopped = [&loop, &dm] { return loop.Terminated() || dm.Stopped(); };
    std::string why;
    int64_t reused = 0;
    bool built = false;
    // What the run's total holds for this file: its planned archive, until the ranges to
    // fetch instead are known.
    const auto planned = planSizes_.find(rec.Name);
    int64_t inTotal = planned != planSizes_.end() ? planned->second : 0;
    // The requests go through the engine while this thread waits with its window live; the
    // scan, the copy of the old blocks and the digest, which take seconds for a big file,
    // run on a helper thread meanwhile.
    const auto offThread = [this](const std::function<void()>& fn) {
        RunWhileProcessing(loop_, [&] {
            try {
                fn();
            } catch (const std::exception&) {
                // reported by what it left undone
            }
        });
    };
    const auto attempt = [&] {
        BlockIndex index;
        if (!FetchBlockIndex(DM->Engine(), base + "i", index, why, build->stopped)) return;
        if (index.FileDigestText() != rec.Hash || index.fileSize != rec.Size) {
            why = "the index is of another version";
            return;
        }
        DeltaPlan plan;
        why = "cannot read the old copy";
        offThread([&] {
            plan = MatchBlocks(index, target, build->stopped);
            why.clear();
        });
        if (!why.empty()) return;
        reused = index.fileSize - plan.FetchBytes(index);
        // The run's total is what it really fetches: these ranges instead of the archive.
        planTotal_ += plan.FetchBytes(index) - inTotal;
        inTotal = plan.FetchBytes(index);
        if (!BuildFile(DM->Engine(), index, plan, *build)) {
            why = build->why;
            return;
        }
        std::string digest;
        offThread([&] { digest = FileMD5(build->newFile); });
        if (digest != rec.Hash) {
            why = "the built file differs from the list";
            return;
        }
        built = true;
    };
    try {
        attempt();
    } catch (const std::exception& e) {
        why = e.what();
    }
    // Whatever the engine's thread posted runs before the archive's progress begins.
    loop_.ProcessMessages();
    // Every byte that arrived counts as done; the archive, when it must serve, is fetched
    // on top of them.
    planDone_ += build->downloaded;
    planTotal_ += build->downloaded - inTotal;
    if (planned != planSizes_.end()) {
        if (built) planned->second = 0;
        else planTotal_ += planned->second;
    }
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
