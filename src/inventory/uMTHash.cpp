#include "inventory/uMTHash.hpp"

#include "inventory/CustomMD5.hpp"
#include "platform/FileTimes.hpp"

namespace tarvos {

void TMHOneThread::Execute() {
    try {
        if (!ReadSizeAndDate(_filename)) return;  // absent: the empty digest, size and date 0
        if (ModeIsHaveHash) _hash = FileMD5(_filename);
        // Read after the digest, so the size and date are those of the bytes just digested.
        if (const auto entry = ReadSizeAndDate(_filename)) {
            _size = entry->Size;
            _date = entry->Date;
        }
    } catch (...) {
        _hash = std::string(kEmptyDigest);
    }
}

TMHThreads::TMHThreads(EventLoop& loop) : loop_(loop), _filelist(std::make_unique<TFileList>(true)) {}

TMHThreads::~TMHThreads() { StopWorkers(); }

std::unique_ptr<TFileList> TMHThreads::CalculateHash(const std::string& path, const TFileList& filelist,
                                                     int32_t threads) {
    const int32_t n = std::min(threads, filelist.Count());
    _newlist = std::make_unique<TFileList>(true);
    _filelist->Clear();
    for (int32_t i = 0; i < filelist.Count(); ++i) {
        const TFileRecord& rec = filelist.GetItemByID(i)->Content;
        _filelist->AddItem(rec.Name, std::make_unique<TFileItem>(rec));
    }
    _path = path;
    isComplete = false;
    cnt = 0;
    _pos = -1;
    StopWorkers();
    for (int32_t i = 0; i < n; ++i) {
        auto w = std::make_unique<Worker>();
        Worker& ref = *w;
        w->thread = std::thread([this, &ref] { WorkerBody(ref); });
        workers_.push_back(std::move(w));
    }
    for (auto& w : workers_) StartNext(*w);
    if (cnt == 0) isComplete = true;
    while (!isComplete) {
        if (loop_.Terminated()) EndProcessNow(0);
        loop_.WaitAndProcess();
    }
    if (loop_.Terminated()) EndProcessNow(0);
    StopWorkers();
    return std::move(_newlist);
}

void TMHThreads::StartNext(Worker& w) {
    ++_pos;
    if (_pos >= _filelist->Count()) return;
    auto job = std::make_unique<TMHOneThread>(_path + _filelist->GetItemByID(_pos)->Content.Name);
    job->ModeIsHaveHash = ModeIsHaveHash;
    job->OnComplete = [this, &w](TMHOneThread& done) { Completed(w, done); };
    ++cnt;
    w.Give(std::move(job));
}

void TMHThreads::Worker::Give(std::unique_ptr<TMHOneThread> next) {
    {
        std::lock_guard lock(mutex);
        job = std::move(next);
    }
    wake.notify_one();
}

void TMHThreads::Worker::Quit() {
    {
        std::lock_guard lock(mutex);
        quit = true;
    }
    wake.notify_one();
}

std::unique_ptr<TMHOneThread> TMHThreads::Worker::Take() {
    std::unique_lock lock(mutex);
    wake.wait(lock, [this] { return quit || job; });
    return quit ? nullptr : std::move(job);
}

void TMHThreads::WorkerBody(Worker& w) {
    for (;;) {
        // The worker owns its file from here on, so the main thread may hand it the next
        // one while this one's result is being recorded.
        const std::unique_ptr<TMHOneThread> job = w.Take();
        if (!job) return;
        job->Execute();
        if (loop_.Terminated()) return;
        loop_.Synchronize([&job] { job->OnComplete(*job); });
    }
}

// Runs on the main thread while the worker waits in Synchronize.
void TMHThreads::Completed(Worker& w, TMHOneThread& job) {
    // The window slides on even when the caller's callback throws, or the wait never ends.
    struct Slide {
        TMHThreads& self;
        Worker& w;
        ~Slide() {
            --self.cnt;
            self.StartNext(w);
            if (self.cnt == 0) self.isComplete = true;
            if (self.loop_.Terminated()) EndProcessNow(0);
        }
    } slide{*this, w};
    const std::string name = job._filename.substr(std::min(_path.size(), job._filename.size()));
    _newlist->AddItemSimple(name, job._hash, std::string(kEmptyDigest), job._size, job._date);
    if (OnThreadFileProceed) OnThreadFileProceed(*this, name, job._hash, job._size, job._date);
}

void TMHThreads::StopWorkers() {
    for (auto& w : workers_) w->Quit();
    for (auto& w : workers_)
        if (w->thread.joinable()) w->thread.join();
    workers_.clear();
}

}  // namespace tarvos
