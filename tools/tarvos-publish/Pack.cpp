#include "Pack.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "System.hpp"
#include "inventory/CustomMD5.hpp"
#include "platform/Text.hpp"

namespace tarvos::publish {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPartialSuffix = ".publishing";

// The archive holds the file under its bare name (-ep), made the same way whatever the
// operator's own rar settings (-cfg-), quietly (-idq), never asking (-y); "--" ends the
// switches, so a file name never reads as one.
std::vector<std::string> RarArguments(const PackJob& job) {
    // clang-format off
    return {"a", "-ep", "-cfg-", "-idq", "-y", "-r-", "-c-", "--",
            PathToUtf8(job.partial), PathToUtf8(fs::absolute(job.file.path))};
    // clang-format on
}

std::string Tail(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.size() > 400) text = "..." + text.substr(text.size() - 400);
    return text;
}

void PackOne(PackJob& job, const fs::path& rar) {
    const SourceFile& f = job.file;
    job.hash = FileMD5(PathToUtf8(f.path));
    std::error_code ec;
    fs::create_directories(job.partial.parent_path(), ec);
    fs::remove(job.partial, ec);
    ProcessResult r = RunProcess(rar, RarArguments(job));
    if (r.exitCode != 0 || !fs::is_regular_file(job.partial, ec)) {
        fs::remove(job.partial, ec);
        job.error = f.name + ": rar failed (exit code " + std::to_string(r.exitCode) + ")";
        if (std::string out = Tail(r.output); !out.empty()) job.error += ": " + out;
        return;
    }
    job.hashPacked = FileMD5(PathToUtf8(job.partial));
    // A file written to while it was packed would publish a digest of other bytes than its archive's.
    if (static_cast<int64_t>(fs::file_size(f.path)) != f.size || LocalDateOfFile(f.path) != f.date)
        job.error = f.name + ": the file changed while it was being published";
}

}  // namespace

fs::path PartialOf(const fs::path& archive) { return fs::path(archive).concat(kPartialSuffix); }

bool IsPartialName(const fs::path& file) {
    const std::string name = PathToUtf8(file.filename());
    // Archives, block indexes (".ta2i") and uncompressed copies (".ta2r") alike.
    for (const char* kind : {".ta2", ".ta2i", ".ta2r"}) {
        const std::string suffix = std::string(kind) + kPartialSuffix;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

void PackAll(std::vector<PackJob>& work, const fs::path& rar, unsigned jobs, PackProgress& progress,
             const std::function<void()>& tick) {
    std::vector<size_t> order(work.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return work[a].file.size > work[b].file.size; });

    std::mutex m;
    std::condition_variable cv;
    size_t next = 0, running = 0;
    bool failed = false;
    auto worker = [&] {
        for (;;) {
            size_t id;
            {
                std::lock_guard<std::mutex> lock(m);
                if (failed || next == order.size()) break;
                id = order[next++];
            }
            PackJob& job = work[id];
            try {
                PackOne(job, rar);
            } catch (const std::exception& e) {
                job.error = job.file.name + ": " + e.what();
            } catch (...) {  // nothing may leave a thread's own function
                job.error = job.file.name + ": unexpected failure";
            }
            progress.bytesDone += job.file.size;
            progress.filesDone += 1;
            if (!job.error.empty()) {
                std::lock_guard<std::mutex> lock(m);
                failed = true;
            }
        }
        std::lock_guard<std::mutex> lock(m);
        --running;
        cv.notify_all();
    };

    const size_t count = std::min<size_t>(std::max(1u, jobs), work.size());
    std::vector<std::thread> threads;
    running = count;
    for (size_t i = 0; i < count; ++i) threads.emplace_back(worker);
    {
        std::unique_lock<std::mutex> lock(m);
        while (running > 0) {
            cv.wait_for(lock, std::chrono::milliseconds(200));
            lock.unlock();
            if (tick) tick();
            lock.lock();
        }
    }
    for (auto& t : threads) t.join();
}

}  // namespace tarvos::publish
