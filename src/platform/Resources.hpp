#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace tarvos {

// The configuration slot the launcher reserves in its own executable: a 4-byte length
// word and up to 1,536,000 bytes of packed configuration, 1,536,019 bytes in all.
inline constexpr std::size_t kBlankSlotSize = 1536019;

// Raw data resources of the own executable.
class Resources {
public:
    virtual ~Resources() = default;
    // The bytes of the raw-data resource `name` (letter case ignored), or an empty span when
    // there is none. The bytes stay valid for the life of the process.
    virtual std::span<const std::uint8_t> RawData(const std::string& name) const = 0;
};

// Resources backed by bytes the caller owns (tests, tools).
class MemoryResources : public Resources {
public:
    MemoryResources(std::string name, std::span<const std::uint8_t> bytes) : name_(std::move(name)), bytes_(bytes) {}
    std::span<const std::uint8_t> RawData(const std::string& name) const override;

private:
    std::string name_;
    std::span<const std::uint8_t> bytes_;
};

// ---- per platform ----
// The own executable's resources. On Windows the module's RCDATA resources; natively the
// "blank" slot, embedded in the binary at link time and patched in place by tarvos-pack.
const Resources& OwnResources();

}  // namespace tarvos
