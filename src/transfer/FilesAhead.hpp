#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transfer/TransferEngine.hpp"

namespace tarvos {

// Small files fetched ahead while the files before them are installed one by one: several
// at once, each by one GET over the engine's kept connections into a work file of its own,
// named by the content's digest. A file that arrived whole stays in the work folder until
// it is taken, also across a killed run, so it is never fetched twice.
class FilesAhead {
public:
    FilesAhead(TransferEngine& engine, std::string folder, int inFlight);
    ~FilesAhead();
    FilesAhead(const FilesAhead&) = delete;
    FilesAhead& operator=(const FilesAhead&) = delete;

    // Queues url; key (the expected digest of its bytes) names its work file, and `estimate`
    // is what its size is taken to be until the response tells.
    void Add(const std::string& url, const std::string& key, int64_t estimate);
    // Waits, processing the loop's messages (and calling `tick` about twice a second), until
    // the file of url has arrived or failed; its work file when it arrived whole (the
    // caller takes it away), else empty, also for a url never queued or when `stop` says so.
    std::string Take(const std::string& url, const std::function<bool()>& stop, const std::function<void()>& tick);
    // Files being fetched now, and bytes that arrived of files not yet taken.
    // How many may be in flight from now on (those already begun go on).
    void SetInFlight(int inFlight) {
        inFlight_ = inFlight < 1 ? 1 : inFlight;
        StartNext();
    }
    int InFlight() const { return static_cast<int>(batch_.Pending()); }
    int64_t BytesAhead() const;
    // What the sizes that responses told differ from the estimates, for files not yet taken.
    int64_t SizesLearned() const;

    struct Item;

private:
    void StartNext();

    TransferEngine& engine_;
    std::string folder_;
    int inFlight_;
    TransferBatch batch_;
    std::vector<std::unique_ptr<Item>> items_;
    std::map<std::string, Item*> byUrl_;
    size_t next_ = 0;
};

}  // namespace tarvos
