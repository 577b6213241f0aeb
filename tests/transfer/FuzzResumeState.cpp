// Whatever a resume state file holds (damaged, cut short, written for another download or
// by another program), opening it must give either nothing or one plausible count per
// piece, and must leave a fresh state that a second opening reads back as all zeros.
//
// Input: [pieces - 1] [work file size: 3 bytes] then the state file's bytes.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Text.hpp"
#include "support/FuzzInput.hpp"
#include "transfer/ResumeState.hpp"

using namespace tarvos;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ResumeState::Identity id;
    id.key = "0123456789ABCDEF0123456789ABCDEF";
    id.url = "http://127.0.0.1/game/data/big.pak.ta2";
    id.validator = "\"5f3c-1a2b\"";
    id.pieces = 1 + in.Byte() % 10;
    id.size = static_cast<int64_t>(in.Uint(3));
    const std::string state = in.Rest();

    static const std::string work = FuzzScratchFile("work.ta2");
    // Only the work file's size matters to the reader: a sparse file of that size.
    WriteFileBytes(work, "", 0);
    std::filesystem::resize_file(PathFromUtf8(work), static_cast<uintmax_t>(id.size));
    WriteFileBytes(ResumeState::FileOf(work), state.data(), state.size());

    ResumeState resume;
    bool usable = false;
    const std::vector<int64_t> done = resume.Open(work, id, usable);
    if (!done.empty()) {
        if (done.size() != static_cast<size_t>(id.pieces)) std::abort();
        for (int64_t d : done)
            if (d < 0 || d > id.size) std::abort();
    }
    resume.Close();
    if (done.empty() && usable) {
        // What was written instead must be a state of this download with nothing done.
        ResumeState again;
        bool usableAgain = false;
        const std::vector<int64_t> fresh = again.Open(work, id, usableAgain);
        if (fresh.size() != static_cast<size_t>(id.pieces)) std::abort();
        for (int64_t d : fresh)
            if (d != 0) std::abort();
        again.Close();
    }
    return 0;
}
