#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "inventory/uClasses.hpp"
#include "platform/EventLoop.hpp"

namespace tarvos {

// The measurement of one file: its digest (or the empty digest in size-and-date mode), its
// size and its last-write time as a local date value.
class TMHOneThread {
public:
    using TMHOneThreadEvent = std::function<void(TMHOneThread& Sender)>;

    explicit TMHOneThread(std::string filename) : _filename(std::move(filename)) {}

    // The worker's body: measures the file. Never throws; anything that goes wrong while
    // reading leaves the empty digest.
    void Execute();

    TMHOneThreadEvent OnComplete;
    std::string _filename;
    std::string _hash{kEmptyDigest};
    int64_t _size = 0;
    double _date = 0;
    bool ModeIsHaveHash = true;
};

// Measures the files of a list with at most n workers at a time. Each finished file is handed
// to the main thread (Synchronize), which records it and gives the worker the next file: a
// sliding window over the sorted list. The main thread waits in its event loop meanwhile.
class TMHThreads {
public:
    using TMHThreadFileProceedEvent = std::function<void(TMHThreads& Sender, const std::string& filename,
                                                         const std::string& hash, int64_t size, double date)>;

    explicit TMHThreads(EventLoop& loop = MainLoop());
    ~TMHThreads();
    TMHThreads(const TMHThreads&) = delete;
    TMHThreads& operator=(const TMHThreads&) = delete;

    // Measures path + name for every entry of filelist and returns the measured records.
    // Blocks until done while processing the loop's messages; ends the process when the
    // application is asked to terminate meanwhile.
    std::unique_ptr<TFileList> CalculateHash(const std::string& path, const TFileList& filelist,
                                             int32_t threads);

    TMHThreadFileProceedEvent OnThreadFileProceed;
    bool ModeIsHaveHash = true;
    bool isComplete = false;

private:
    // A worker thread that measures one file after another as the main thread hands them out.
    // (A mutex and condition variable rather than a semaphore: the MinGW runtime's C++20
    // semaphore can lose a release.)
    struct Worker {
        std::thread thread;
        std::mutex mutex;
        std::condition_variable wake;
        std::unique_ptr<TMHOneThread> job;  // handed out by the main thread
        bool quit = false;
        void Give(std::unique_ptr<TMHOneThread> next);
        void Quit();
        // Blocks until a file or the end comes; null at the end.
        std::unique_ptr<TMHOneThread> Take();
    };

    void StartNext(Worker& w);
    void Completed(Worker& w, TMHOneThread& job);
    void WorkerBody(Worker& w);
    void StopWorkers();

    EventLoop& loop_;
    std::unique_ptr<TFileList> _filelist;
    std::unique_ptr<TFileList> _newlist;
    std::string _path;
    int32_t cnt = 0;
    int32_t _pos = -1;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace tarvos
