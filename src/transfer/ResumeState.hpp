#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/RandomAccessFile.hpp"

namespace tarvos {

// How far each piece of an interrupted download had come, kept beside its work file so
// that a later attempt, or a later run after a crash, goes on where the pieces stopped.
//
// The file is a text header of fixed length naming what is being fetched, then one fixed
// slot per piece with the count of bytes written from the piece's start. A piece writes its
// bytes into the work file first and its count afterwards, so a count never claims bytes
// that are not there, whenever the process dies.
class ResumeState {
public:
    // What the work file holds: a state made for anything else is not resumed.
    struct Identity {
        std::string key;        // the caller's name for the content (its expected digest)
        std::string url;
        std::string validator;  // the server's ETag or Last-Modified; may be empty
        int64_t size = 0;
        int32_t pieces = 0;
    };

    static std::string FileOf(const std::string& workFile) { return workFile + ".resume"; }

    // The bytes done per piece when `workFile` holds a resumable download of `id` (the state
    // stays open for Record); empty when it does not, and then a fresh state is written.
    // False in `usable` when no state can be kept at all (the download still runs).
    std::vector<int64_t> Open(const std::string& workFile, const Identity& id, bool& usable);
    // Records that piece `index` has `done` bytes; any thread, one writer per piece.
    void Record(int32_t index, int64_t done);
    void Close();
    // Closes and deletes the state: the download is over, either way.
    void Discard();

private:
    RandomAccessFile file_;
    std::string name_;
};

}  // namespace tarvos
