#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// A tiny hand-made 32-bit library image with exactly the features the loader must handle:
// one import by ordinal and one by name, a relocated pointer, an export and a forwarded
// export. Offsets are fixed so tests can damage precise fields.
namespace tarvos::testing {

struct SyntheticImage {
    static constexpr std::uint32_t kPreferredBase = 0x10000000;
    static constexpr std::uint32_t kSectionRva = 0x1000;
    static constexpr std::uint32_t kSectionFile = 0x200;
    static constexpr std::uint32_t kNtOffset = 0x40;
    static constexpr std::uint32_t kOptional = kNtOffset + 24;
    static constexpr std::uint32_t kSectionTable = kOptional + 0xE0;
    // Section-relative offsets.
    static constexpr std::uint32_t kImports = 0x000, kLookup = 0x040, kIat = 0x060, kLibName = 0x080,
                                   kHintName = 0x090, kExports = 0x0A0, kPointer = 0x100, kRelocs = 0x180;

    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x400, 0);

    void Put16(std::uint32_t at, std::uint16_t v) { std::memcpy(&bytes[at], &v, 2); }
    void Put32(std::uint32_t at, std::uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
    void PutText(std::uint32_t at, const char* s) { std::memcpy(&bytes[at], s, std::strlen(s) + 1); }
    // File offset and address of a section-relative offset.
    static std::uint32_t F(std::uint32_t off) { return kSectionFile + off; }
    static std::uint32_t R(std::uint32_t off) { return kSectionRva + off; }
    // Adds a section of zeros (no file data) at rva and grows the image to hold it.
    void AddSection(std::uint32_t rva, std::uint32_t size, std::uint32_t characteristics) {
        const std::uint16_t count =
            static_cast<std::uint16_t>(bytes[kNtOffset + 6] | bytes[kNtOffset + 7] << 8);
        const std::uint32_t header = kSectionTable + 40 * count;
        Put32(header + 8, size);
        Put32(header + 12, rva);
        Put32(header + 36, characteristics);
        Put16(kNtOffset + 6, static_cast<std::uint16_t>(count + 1));
        Put32(kOptional + 56, rva + size);
    }
    void Directory(int index, std::uint32_t rva, std::uint32_t size) {
        Put32(kOptional + 96 + 8 * index, rva);
        Put32(kOptional + 96 + 8 * index + 4, size);
    }

    SyntheticImage() {
        Put16(0, 0x5A4D);
        Put32(0x3C, kNtOffset);
        Put32(kNtOffset, 0x00004550);
        Put16(kNtOffset + 4, 0x14C);   // i386
        Put16(kNtOffset + 6, 1);       // one section
        Put16(kNtOffset + 20, 0xE0);   // optional header size
        Put16(kNtOffset + 22, 0x2102);  // executable, 32-bit, DLL
        Put16(kOptional, 0x10B);
        Put32(kOptional + 28, kPreferredBase);
        Put32(kOptional + 32, 0x1000);
        Put32(kOptional + 36, 0x200);
        Put32(kOptional + 56, 0x2000);  // size of image
        Put32(kOptional + 60, 0x200);   // size of headers
        Put32(kOptional + 92, 16);
        std::memcpy(&bytes[kSectionTable], ".data", 5);
        Put32(kSectionTable + 8, 0x200);
        Put32(kSectionTable + 12, kSectionRva);
        Put32(kSectionTable + 16, 0x200);
        Put32(kSectionTable + 20, kSectionFile);
        Put32(kSectionTable + 36, 0xC0000040);  // initialised data, read, write
        BuildImports();
        BuildExports();
        Put32(F(kPointer), kPreferredBase + R(kPointer));  // points at itself
        Put32(F(kRelocs), kSectionRva);
        Put32(F(kRelocs) + 4, 12);
        Put16(F(kRelocs) + 8, 0x3000 | kPointer);
        Put16(F(kRelocs) + 10, 0);  // padding entry
        Directory(5, R(kRelocs), 12);
    }

    void BuildImports() {
        Put32(F(kImports), R(kLookup));
        Put32(F(kImports) + 12, R(kLibName));
        Put32(F(kImports) + 16, R(kIat));
        for (std::uint32_t table : {kLookup, kIat}) {
            Put32(F(table), 0x80000007);  // ordinal 7
            Put32(F(table) + 4, R(kHintName));
        }
        PutText(F(kLibName), "lib.dll");
        PutText(F(kHintName) + 2, "NamedFn");
        Directory(1, R(kImports), 40);
    }

    void BuildExports() {
        const std::uint32_t e = kExports;
        Put32(F(e) + 20, 2);              // functions
        Put32(F(e) + 24, 2);              // names
        Put32(F(e) + 28, R(e + 0x30));    // function addresses
        Put32(F(e) + 32, R(e + 0x38));    // name addresses
        Put32(F(e) + 36, R(e + 0x40));    // name ordinals
        Put32(F(e + 0x30), R(kPointer));  // "Alpha" -> the data word
        Put32(F(e + 0x34), R(e + 0x50));  // "Fwd" -> a forwarder text
        Put32(F(e + 0x38), R(e + 0x44));
        Put32(F(e + 0x3C), R(e + 0x4A));
        Put16(F(e + 0x40), 0);
        Put16(F(e + 0x42), 1);
        PutText(F(e + 0x44), "Alpha");
        PutText(F(e + 0x4A), "Fwd");
        PutText(F(e + 0x50), "other.Fn");
        Directory(0, R(e), 0x60);
    }
};

}  // namespace tarvos::testing
