#include "transfer/FilesAhead.hpp"

#include <algorithm>
#include <atomic>

#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"

namespace tarvos {

namespace {

// How often a caller waiting for its file sees progress.
constexpr int kTickMs = 250;

}  // namespace

struct FilesAhead::Item {
    enum class State { Queued, Fetching, Whole, Failed, Taken };
    std::string url, file;
    State state = State::Queued;
    RandomAccessFile out;
    std::atomic<int64_t> received{0};
    int64_t estimate = 0;
    std::atomic<int64_t> length{-1};  // as the response announced it
    bool writeFailed = false;
};

FilesAhead::FilesAhead(TransferEngine& engine, std::string folder, int inFlight)
    : engine_(engine), folder_(std::move(folder)), inFlight_(std::max(1, inFlight)), batch_(engine) {
    CreateFolderUtf8(folder_);
}

FilesAhead::~FilesAhead() {
    // No body is written any more once the batch is cancelled; what was cut short goes.
    batch_.CancelAll();
    for (auto& item : items_)
        if (item->state == Item::State::Fetching) {
            item->out.Close();
            DeleteFileUtf8(item->file + ".part");
        }
}

void FilesAhead::Add(const std::string& url, const std::string& key, int64_t estimate) {
    if (byUrl_.count(url)) return;
    auto item = std::make_unique<Item>();
    item->url = url;
    item->estimate = estimate;
    item->file = folder_ + "\\" + key + ".ta2";
    // Whole from an earlier run that ended before installing it: its digest is checked
    // when it is taken, as any download's.
    if (FileExistsUtf8(item->file)) item->state = Item::State::Whole;
    byUrl_[url] = item.get();
    items_.push_back(std::move(item));
    StartNext();
}

void FilesAhead::StartNext() {
    while (next_ < items_.size() && static_cast<int>(batch_.Pending()) < inFlight_) {
        Item& item = *items_[next_++];
        if (item.state != Item::State::Queued) continue;
        if (!item.out.Create(item.file + ".part")) {
            item.state = Item::State::Failed;
            continue;
        }
        item.state = Item::State::Fetching;
        TransferRequest r;
        r.url = item.url;
        // The engine's thread writes the bytes in order as they come.
        r.body = [&item](const TransferResult& result, const char* data, size_t length) {
            const int64_t at = item.received;
            if (at == 0) item.length = result.contentLength;
            if (!item.out.WriteAt(at, data, length)) {
                item.writeFailed = true;
                return false;
            }
            item.received = at + static_cast<int64_t>(length);
            return true;
        };
        r.done = [this, &item](const TransferResult& result) {
            item.out.Close();
            const bool whole = result.ok && !item.writeFailed &&
                               (result.contentLength < 0 || result.contentLength == item.received);
            // Renamed only when whole: a killed run leaves a ".part", never a short file
            // under the final name.
            if (whole && RenameFileUtf8(item.file + ".part", item.file)) {
                item.state = Item::State::Whole;
            } else {
                DeleteFileUtf8(item.file + ".part");
                item.state = Item::State::Failed;
            }
            StartNext();
        };
        batch_.Add(std::move(r));
    }
}

std::string FilesAhead::Take(const std::string& url, const std::function<bool()>& stop,
                             const std::function<void()>& tick) {
    const auto it = byUrl_.find(url);
    if (it == byUrl_.end()) return {};
    Item& item = *it->second;
    EventLoop& loop = engine_.Loop();
    while (item.state == Item::State::Queued || item.state == Item::State::Fetching) {
        if (loop.Terminated() || (stop && stop())) return {};
        // Not yet begun: it comes next, ahead of the files behind it.
        if (item.state == Item::State::Queued) {
            const auto at = std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == &item; });
            std::rotate(items_.begin() + static_cast<std::ptrdiff_t>(next_), at, at + 1);
            const int limit = inFlight_;
            inFlight_ = std::max(inFlight_, static_cast<int>(batch_.Pending()) + 1);
            StartNext();
            inFlight_ = limit;
            if (item.state == Item::State::Queued) return {};
            continue;
        }
        loop.WaitAndProcessFor(kTickMs);
        if (tick) tick();
    }
    const bool whole = item.state == Item::State::Whole;
    item.state = Item::State::Taken;
    return whole ? item.file : std::string();
}

int64_t FilesAhead::SizesLearned() const {
    int64_t change = 0;
    for (const auto& item : items_)
        if (item->state != Item::State::Taken && item->length >= 0) change += item->length - item->estimate;
    return change;
}

int64_t FilesAhead::BytesAhead() const {
    int64_t bytes = 0;
    for (const auto& item : items_)
        if (item->state == Item::State::Fetching || item->state == Item::State::Whole) bytes += item->received;
    return bytes;
}

}  // namespace tarvos
