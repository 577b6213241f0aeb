// Taking a fuzzer's bytes apart into the fields a harness needs, and the scratch files of
// harnesses whose code under test reads from disk. Reading past the end gives zeros, so
// every input is usable however short.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/Text.hpp"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // An unsigned number of `bytes` little-endian bytes (at most 8).
    uint64_t Uint(int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
        return v;
    }
    std::string Bytes(size_t n) {
        const size_t take = std::min(n, size_ - pos_);
        std::string s(reinterpret_cast<const char*>(data_ + pos_), take);
        pos_ += take;
        return s;
    }
    std::string Rest() { return Bytes(size_ - pos_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A file of this process's own scratch folder; the folder is made on first use.
inline std::string FuzzScratchFile(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("tarvos-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline void WriteFileBytes(const std::string& file, const void* data, size_t size) {
    std::ofstream out(tarvos::PathFromUtf8(file), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}
