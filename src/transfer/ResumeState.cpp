#include "transfer/ResumeState.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/FileSystem.hpp"
#include "platform/Text.hpp"

namespace tarvos {
namespace {

constexpr size_t kHeaderBytes = 4096;
constexpr size_t kSlotBytes = 32;
constexpr const char* kMagic = "tarvos resume 1";

std::string Header(const ResumeState::Identity& id) {
    std::string h = std::string(kMagic) + "\nkey=" + id.key + "\nurl=" + id.url + "\nvalidator=" + id.validator +
                    "\nsize=" + std::to_string(id.size) + "\npieces=" + std::to_string(id.pieces) + "\n";
    if (h.size() > kHeaderBytes) return {};
    h.resize(kHeaderBytes, '\n');
    return h;
}

std::string Slot(int64_t done) {
    char text[kSlotBytes + 1];
    std::snprintf(text, sizeof text, "%020lld%11s\n", static_cast<long long>(done), "");
    return std::string(text, kSlotBytes);
}

int64_t FileSize(const std::string& name) {
    std::ifstream in(PathFromUtf8(name), std::ios::binary | std::ios::ate);
    return in ? static_cast<int64_t>(in.tellg()) : -1;
}

// The counts of a state written for exactly this identity; empty for anything else.
std::vector<int64_t> ReadCounts(const std::string& name, const std::string& header, const ResumeState::Identity& id) {
    std::ifstream in(PathFromUtf8(name), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t pieces = static_cast<size_t>(id.pieces);
    if (bytes.size() != kHeaderBytes + pieces * kSlotBytes || bytes.compare(0, kHeaderBytes, header) != 0) return {};
    std::vector<int64_t> done;
    for (size_t i = 0; i < pieces; ++i) {
        long long n = -1;
        // A count beyond the file's size is a damaged slot, not progress.
        if (std::sscanf(bytes.c_str() + kHeaderBytes + i * kSlotBytes, "%20lld", &n) != 1 || n < 0 || n > id.size)
            return {};
        done.push_back(n);
    }
    return done;
}

}  // namespace

std::vector<int64_t> ResumeState::Open(const std::string& workFile, const Identity& id, bool& usable) {
    Close();
    name_ = FileOf(workFile);
    const std::string header = Header(id);
    usable = !header.empty() && id.pieces > 0;
    if (!usable) return {};
    std::vector<int64_t> done;
    if (FileSize(workFile) == id.size) done = ReadCounts(name_, header, id);
    if (!done.empty() && file_.Create(name_, false)) return done;
    // Nothing to resume: a fresh state with every piece at its start.
    std::string fresh = header;
    for (int32_t i = 0; i < id.pieces; ++i) fresh += Slot(0);
    usable = file_.Create(name_) && file_.WriteAt(0, fresh.data(), fresh.size());
    if (!usable) Discard();
    return {};
}

void ResumeState::Record(int32_t index, int64_t done) {
    if (!file_.IsOpen()) return;
    const std::string slot = Slot(done);
    file_.WriteAt(static_cast<int64_t>(kHeaderBytes + static_cast<size_t>(index) * kSlotBytes), slot.data(),
                  slot.size());
}

void ResumeState::Close() { file_.Close(); }

void ResumeState::Discard() {
    file_.Close();
    if (!name_.empty()) DeleteFileUtf8(name_);
}

}  // namespace tarvos
