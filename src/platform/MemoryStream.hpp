#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Stream.hpp"

namespace tarvos {

// A stream over a byte vector it owns. Seeking past the end is allowed; a write there
// fills the gap with zeros.
class MemoryStream final : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    explicit MemoryStream(std::string_view bytes) : bytes_(bytes.begin(), bytes.end()) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Position() const override { return position_; }
    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

    // Truncates or extends (with zeros); the position stays where it was.
    void SetSize(int64_t size);
    void Clear();

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
    }
    std::string ToString() const { return std::string(View()); }

private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};

}  // namespace tarvos
