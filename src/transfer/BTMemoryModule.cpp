#include "transfer/BTMemoryModule.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvos {

namespace {

std::string g_lastError;

// Every failing step throws one of these; the loader turns it into the last-error text.
struct LoadFailure {
    std::string text;
};

[[noreturn]] void Fail(std::string text) { throw LoadFailure{std::move(text)}; }

constexpr std::uint16_t kDosMagic = 0x5A4D;
constexpr std::uint32_t kNtSignature = 0x00004550;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe64 = 0x20B;
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::size_t kPageSize = 0x1000;
// Far above any real library; keeps a forged size from reserving the address space.
constexpr std::uint32_t kMaxImageSize = 0x40000000;

constexpr char kBadHeaders[] = "BTMemoryLoadLibary: dll headers are not valid";
constexpr char kBadRelocation[] = "PerformBaseRelocation: relocation table is not valid";
constexpr char kBadImports[] = "BuildImportTable: import table is not valid";
constexpr char kBadTls[] = "BTMemoryLoadLibary: TLS directory is not valid";
constexpr char kBadExports[] = "BTMemoryGetProcAddress: export table is not valid";

enum DirectoryIndex { kExportDir = 0, kImportDir = 1, kExceptionDir = 3, kRelocDir = 5, kTlsDir = 9 };

// What a page allows; a mapped image keeps one such set per page. A decommitted page is
// gone for good: no later protection change brings it back.
constexpr std::uint8_t kRead = 1, kWrite = 2, kExecute = 4, kDecommitted = 8;

std::uint8_t AccessOf(PageProtection p) {
    switch (p) {
        case PageProtection::NoAccess:
            return 0;
        case PageProtection::ReadOnly:
            return kRead;
        case PageProtection::ReadWrite:
        case PageProtection::WriteCopy:
            return kRead | kWrite;
        case PageProtection::Execute:
            return kExecute;
        case PageProtection::ExecuteRead:
            return kRead | kExecute;
        case PageProtection::ExecuteReadWrite:
        case PageProtection::ExecuteWriteCopy:
            return kRead | kWrite | kExecute;
    }
    return 0;
}

// Little-endian reads and writes that never leave the byte range and, over a mapped image,
// never touch a page that does not allow the access at that moment; a step that would
// throws its failure text instead. This is the only way the loader reads or writes an image.
class Bytes {
public:
    // The caller's bytes: all of them readable.
    Bytes(const std::uint8_t* data, std::size_t size) : data_(const_cast<std::uint8_t*>(data)), size_(size) {}
    // A mapped image, with what each of its pages allows.
    Bytes(std::uint8_t* data, std::size_t size, const std::vector<std::uint8_t>& pageAccess)
        : data_(data), size_(size), pages_(&pageAccess) {}

    // How many of count bytes from offset can be accessed in a row.
    std::uint64_t Usable(std::uint64_t offset, std::uint64_t count, std::uint8_t access) const {
        if (offset > size_) return 0;
        count = std::min<std::uint64_t>(count, size_ - offset);
        if (!pages_ || count == 0) return count;
        const std::uint64_t first = offset / kPageSize;
        if (first == (offset + count - 1) / kPageSize)  // the usual case: within one page
            return ((*pages_)[first] & access) == access ? count : 0;
        std::uint64_t done = 0;
        while (done < count) {
            const std::uint64_t page = (offset + done) / kPageSize;
            if (page >= pages_->size() || ((*pages_)[page] & access) != access) break;
            done = std::min<std::uint64_t>(count, (page + 1) * kPageSize - offset);
        }
        return done;
    }
    bool Has(std::uint64_t offset, std::uint64_t count, std::uint8_t access = kRead) const {
        return Usable(offset, count, access) == count;
    }
    void Need(std::uint64_t offset, std::uint64_t count, const char* failure,
              std::uint8_t access = kRead) const {
        if (!Has(offset, count, access)) Fail(failure);
    }
    std::uint64_t Read(std::uint64_t offset, unsigned width, const char* failure) const {
        Need(offset, width, failure);
        std::uint64_t value = 0;
        for (unsigned i = width; i-- > 0;) value = (value << 8) | data_[offset + i];
        return value;
    }
    std::uint16_t U16(std::uint64_t offset, const char* failure) const {
        return static_cast<std::uint16_t>(Read(offset, 2, failure));
    }
    std::uint32_t U32(std::uint64_t offset, const char* failure) const {
        return static_cast<std::uint32_t>(Read(offset, 4, failure));
    }
    void Write(std::uint64_t offset, unsigned width, std::uint64_t value, const char* failure) {
        Need(offset, width, failure, kWrite);
        for (unsigned i = 0; i < width; ++i) data_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    void CopyIn(std::uint64_t offset, const std::uint8_t* source, std::size_t count, const char* failure) {
        Need(offset, count, failure, kWrite);
        if (count > 0) std::memcpy(data_ + offset, source, count);
    }
    // The range [offset, offset + count) on its own, checked once: a table read entry by entry
    // needs no further page checks while nothing changes the image's pages.
    Bytes Slice(std::uint64_t offset, std::uint64_t count, const char* failure) const {
        Need(offset, count, failure);
        return Bytes(data_ + offset, static_cast<std::size_t>(count));
    }
    // A zero-terminated name of at most maxLength characters.
    std::string Name(std::uint64_t offset, std::size_t maxLength, const char* failure) const {
        Need(offset, 1, failure);
        const auto limit = static_cast<std::size_t>(Usable(offset, std::uint64_t{maxLength} + 1, kRead));
        const auto* begin = reinterpret_cast<const char*>(data_ + offset);
        const void* end = std::memchr(begin, 0, limit);
        if (!end) Fail(failure);
        return std::string(begin, static_cast<const char*>(end));
    }
    // Whether the zero-terminated name at offset is exactly name; false when it cannot be read.
    bool NameEquals(std::uint64_t offset, std::string_view name) const {
        return Has(offset, name.size() + 1) && std::memcmp(data_ + offset, name.data(), name.size()) == 0 &&
               data_[offset + name.size()] == 0;
    }
    const std::uint8_t* At(std::uint64_t offset) const { return data_ + offset; }

private:
    std::uint8_t* data_;
    std::size_t size_;
    const std::vector<std::uint8_t>* pages_ = nullptr;
};

struct Directory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Section {
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;
    // The bytes the section occupies in memory, and the part of them that comes from the file.
    std::uint32_t Extent() const { return virtualSize ? virtualSize : rawSize; }
    std::uint32_t CopySize() const { return virtualSize ? std::min(rawSize, virtualSize) : rawSize; }
};

struct PeHeaders {
    bool pe64 = false;
    std::uint64_t optionalOffset = 0;
    std::uint64_t imageBase = 0;
    std::uint32_t sizeOfImage = 0, sizeOfHeaders = 0, entryPoint = 0;
    Directory dirs[16];
    std::vector<Section> sections;
};

std::uint64_t ReadDosAndNtSignature(const Bytes& file) {
    if (!file.Has(0, 64) || file.U16(0, "") != kDosMagic) Fail("BTMemoryLoadLibary: dll dos header is not valid");
    std::uint32_t nt = file.U32(0x3C, "");
    if (!file.Has(nt, 4) || file.U32(nt, "") != kNtSignature)
        Fail("BTMemoryLoadLibary: IMAGE_NT_SIGNATURE is not valid");
    return nt;
}

void ReadOptionalHeader(const Bytes& file, PeHeaders& h, std::uint16_t optionalSize) {
    const std::uint64_t o = h.optionalOffset;
    file.Need(o, optionalSize, kBadHeaders);
    const std::uint64_t dirOffset = h.pe64 ? 112 : 96;
    if (optionalSize < dirOffset) Fail(kBadHeaders);
    h.entryPoint = file.U32(o + 16, kBadHeaders);
    h.imageBase = h.pe64 ? file.Read(o + 24, 8, kBadHeaders) : file.U32(o + 28, kBadHeaders);
    h.sizeOfImage = file.U32(o + 56, kBadHeaders);
    h.sizeOfHeaders = file.U32(o + 60, kBadHeaders);
    std::uint64_t count = std::min<std::uint64_t>(file.U32(o + dirOffset - 4, kBadHeaders), 16);
    count = std::min<std::uint64_t>(count, (optionalSize - dirOffset) / 8);
    for (std::uint64_t i = 0; i < count; ++i) {
        h.dirs[i].rva = file.U32(o + dirOffset + 8 * i, kBadHeaders);
        h.dirs[i].size = file.U32(o + dirOffset + 8 * i + 4, kBadHeaders);
    }
    if (h.sizeOfImage == 0 || h.sizeOfImage > kMaxImageSize || h.sizeOfHeaders > h.sizeOfImage ||
        !file.Has(0, h.sizeOfHeaders))
        Fail(kBadHeaders);
}

void ReadSections(const Bytes& file, PeHeaders& h, std::uint64_t table, std::uint16_t count) {
    file.Need(table, std::uint64_t{count} * 40, kBadHeaders);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t s = table + std::uint64_t{i} * 40;
        Section sec{file.U32(s + 8, kBadHeaders), file.U32(s + 12, kBadHeaders), file.U32(s + 16, kBadHeaders),
                    file.U32(s + 20, kBadHeaders), file.U32(s + 36, kBadHeaders)};
        const std::uint64_t extent = std::max(sec.Extent(), sec.CopySize());
        if (std::uint64_t{sec.virtualAddress} + extent > h.sizeOfImage) Fail(kBadHeaders);
        if (extent > 0 && sec.virtualAddress < h.sizeOfHeaders) Fail(kBadHeaders);
        if (sec.CopySize() > 0 && !file.Has(sec.rawPointer, sec.CopySize()))
            Fail("BTMemoryLoadLibary: section data is outside the image");
        h.sections.push_back(sec);
    }
}

PeHeaders ReadHeaders(const Bytes& file, const ModuleService& modules) {
    PeHeaders h;
    const std::uint64_t nt = ReadDosAndNtSignature(file);
    const std::uint16_t machine = file.U16(nt + 4, kBadHeaders);
    const std::uint16_t sectionCount = file.U16(nt + 6, kBadHeaders);
    const std::uint16_t optionalSize = file.U16(nt + 20, kBadHeaders);
    h.optionalOffset = nt + 24;
    const std::uint16_t magic = file.U16(h.optionalOffset, kBadHeaders);
    h.pe64 = magic == kMagicPe64;
    const bool machineMatches = (magic == kMagicPe32 && machine == kMachineI386) ||
                                (magic == kMagicPe64 && machine == kMachineAmd64);
    if (!machineMatches || !modules.SupportsMachine(machine))
        Fail("BTMemoryLoadLibary: dll is not for this machine");
    ReadOptionalHeader(file, h, optionalSize);
    ReadSections(file, h, h.optionalOffset + optionalSize, sectionCount);
    return h;
}

PageProtection ProtectionOf(std::uint32_t characteristics) {
    const bool x = characteristics & 0x20000000, r = characteristics & 0x40000000,
               w = characteristics & 0x80000000;
    if (x) {
        if (r) return w ? PageProtection::ExecuteReadWrite : PageProtection::ExecuteRead;
        return w ? PageProtection::ExecuteWriteCopy : PageProtection::Execute;
    }
    if (r) return w ? PageProtection::ReadWrite : PageProtection::ReadOnly;
    return w ? PageProtection::WriteCopy : PageProtection::NoAccess;
}

}  // namespace

// Builds one mapped image step by step; the module it fills owns everything built so far,
// so a failing step releases it all.
class TBTImageMapper {
public:
    TBTImageMapper(const Bytes& file, const PeHeaders& headers, TBTMemoryModule& module)
        : file_(file), h_(headers), m_(module), image_(nullptr, 0) {}

    void Map(unsigned protect, bool callEntry) {
        Reserve();
        CopyHeadersAndSections();
        Relocate();
        BuildImportTable();
        FinalizeSections(protect);
        RegisterFunctionTable();
        FindInitRoutines();
        if (callEntry) Attach();
    }

private:
    void Reserve() {
        const std::size_t size = h_.sizeOfImage;
        std::uint8_t* base = nullptr;
        if (h_.imageBase <= UINTPTR_MAX - size)
            base = m_.memory_.Reserve(static_cast<std::uintptr_t>(h_.imageBase), size, !h_.pe64);
        if (!base) base = m_.memory_.Reserve(0, size, !h_.pe64);
        if (!base) Fail("BTMemoryLoadLibary: VirtualAlloc failed");
        m_.codeBase_ = base;
        m_.imageSize_ = size;
        m_.pe64_ = h_.pe64;
        m_.exportRva_ = h_.dirs[kExportDir].rva;
        m_.exportSize_ = h_.dirs[kExportDir].size;
        const auto address = reinterpret_cast<std::uintptr_t>(base);
        if ((!h_.pe64 && std::uint64_t{address} + size > 0x100000000ULL) || !m_.memory_.Commit(base, size))
            Fail("BTMemoryLoadLibary: VirtualAlloc failed");
        // Committed memory allows everything until the sections get their own protection.
        m_.pageAccess_.assign((size + kPageSize - 1) / kPageSize, kRead | kWrite | kExecute);
        image_ = Bytes(base, size, m_.pageAccess_);
    }

    std::uint64_t Base() const { return reinterpret_cast<std::uintptr_t>(m_.codeBase_); }

    void CopyHeadersAndSections() {
        image_.CopyIn(0, file_.At(0), h_.sizeOfHeaders, kBadHeaders);
        if (h_.pe64)
            image_.Write(h_.optionalOffset + 24, 8, Base(), kBadHeaders);
        else
            image_.Write(h_.optionalOffset + 28, 4, Base(), kBadHeaders);
        // Uninitialised parts stay as committed: zero.
        for (const Section& s : h_.sections)
            if (s.CopySize() > 0)
                image_.CopyIn(s.virtualAddress, file_.At(s.rawPointer), s.CopySize(), kBadHeaders);
    }

    void Relocate() {
        const std::uint64_t delta = Base() - h_.imageBase;
        if (delta == 0) return;
        const Directory dir = h_.dirs[kRelocDir];
        if (dir.size == 0) Fail("PerformBaseRelocation: the dll cannot be relocated");
        const std::uint64_t end = std::uint64_t{dir.rva} + dir.size;
        image_.Need(dir.rva, dir.size, kBadRelocation);
        for (std::uint64_t pos = dir.rva; pos + 8 <= end;) {
            const std::uint32_t page = image_.U32(pos, kBadRelocation);
            const std::uint32_t blockSize = image_.U32(pos + 4, kBadRelocation);
            if (page == 0) break;
            // A block shorter than its own head would never advance the walk.
            if (blockSize < 8 || blockSize > end - pos) Fail(kBadRelocation);
            for (std::uint64_t e = pos + 8; e + 2 <= pos + blockSize; e += 2) RelocateEntry(page, image_.U16(e, kBadRelocation), delta);
            pos += blockSize;
        }
    }

    void RelocateEntry(std::uint32_t page, std::uint16_t entry, std::uint64_t delta) {
        const std::uint64_t at = std::uint64_t{page} + (entry & 0xFFF);
        switch (entry >> 12) {
            case 3:  // 32-bit absolute address
                image_.Write(at, 4, image_.U32(at, kBadRelocation) + delta, kBadRelocation);
                break;
            case 10:  // 64-bit absolute address
                image_.Write(at, 8, image_.Read(at, 8, kBadRelocation) + delta, kBadRelocation);
                break;
            default:
                break;
        }
    }

    void BuildImportTable() {
        try {
            const Directory dir = h_.dirs[kImportDir];
            if (dir.size == 0) return;
            for (std::uint64_t d = dir.rva; image_.Has(d, 20); d += 20) {
                const std::uint32_t nameRva = image_.U32(d + 12, kBadImports);
                if (nameRva == 0) break;
                ImportLibrary(d, image_.Name(nameRva, 255, kBadImports));
            }
        } catch (LoadFailure& f) {
            f.text += " BTMemoryLoadLibary: BuildImportTable failed";
            throw;
        }
    }

    void ImportLibrary(std::uint64_t descriptor, const std::string& name) {
        void* library = m_.modules_.OpenModule(name);
        if (!library) Fail("BuildImportTable: can't load library: " + name);
        try {
            m_.modulesLoaded_.push_back(library);
        } catch (const std::bad_alloc&) {
            m_.modules_.ReleaseModule(library);
            Fail("BuildImportTable: ReallocMemory failed");
        }
        const std::uint32_t lookup = image_.U32(descriptor, kBadImports);
        const std::uint32_t iat = image_.U32(descriptor + 16, kBadImports);
        const unsigned width = h_.pe64 ? 8 : 4;
        const std::uint64_t ordinalFlag = std::uint64_t{1} << (8 * width - 1);
        const std::uint64_t table = lookup ? lookup : iat;
        for (std::uint64_t k = 0;; ++k) {
            const std::uint64_t thunk = image_.Read(table + k * width, width, kBadImports);
            if (thunk == 0) break;
            std::uintptr_t address =
                (thunk & ordinalFlag)
                    ? m_.modules_.FindProcByOrdinal(library, static_cast<std::uint16_t>(thunk & 0xFFFF))
                    : m_.modules_.FindProc(library, image_.Name((thunk & 0x7FFFFFFF) + 2, 255, kBadImports));
            if (!address) Fail("BuildImportTable: GetProcAddress failed");
            image_.Write(iat + k * width, width, address, kBadImports);
        }
    }

    // Sections sharing a page (alignment below the page size) get one protection that
    // allows what each of them needs.
    void FinalizeSections(unsigned protect) {
        struct Span {
            std::uint64_t begin, end;
            std::uint32_t characteristics;
        };
        std::vector<Span> spans;
        for (const Section& s : h_.sections) {
            const std::uint32_t extent = s.Extent();
            if (extent == 0) continue;
            Span span{s.virtualAddress / kPageSize * kPageSize,
                      (std::uint64_t{s.virtualAddress} + extent + kPageSize - 1) / kPageSize * kPageSize,
                      s.characteristics};
            if (HoldsLookupData(span.begin, span.end)) {
                span.characteristics |= 0x40000000;  // export lookups read here later
            } else if ((protect & BT_DECOMMIT_DISCARDABLE) && (s.characteristics & 0x02000000)) {
                Decommit(s);
                continue;
            }
            if (!spans.empty() && span.begin < spans.back().end) {
                spans.back().end = std::max(spans.back().end, span.end);
                spans.back().characteristics |= span.characteristics;
            } else {
                spans.push_back(span);
            }
        }
        if (!(protect & BT_PROTECT_SECTIONS)) return;
        for (const Span& s : spans) {
            const std::uint64_t end = std::min<std::uint64_t>(s.end, m_.imageSize_);
            const PageProtection protection = ProtectionOf(s.characteristics);
            const bool changed = m_.memory_.Protect(m_.codeBase_ + s.begin, end - s.begin, protection,
                                                    s.characteristics & 0x04000000);
            // After a refusal the pages may hold either protection: only what both allow is used.
            SetAccess(s.begin, end, AccessOf(protection), changed);
            if (!changed) {
                g_lastError = "FinalizeSections: VirtualProtect failed";
                return;  // the image stays usable with the protection it was committed with
            }
        }
    }

    // The headers and the export table stay readable whatever the sections claim.
    bool HoldsLookupData(std::uint64_t begin, std::uint64_t end) const {
        const Directory exports = h_.dirs[kExportDir];
        const bool headers = begin < h_.sizeOfHeaders;
        const bool exportTable = exports.size && begin < std::uint64_t{exports.rva} + exports.size && exports.rva < end;
        return headers || exportTable;
    }

    // Only pages that belong to the section alone are given back.
    void Decommit(const Section& s) {
        const std::uint64_t begin = (std::uint64_t{s.virtualAddress} + kPageSize - 1) / kPageSize * kPageSize;
        const std::uint64_t end = (std::uint64_t{s.virtualAddress} + s.Extent()) / kPageSize * kPageSize;
        if (end <= begin) return;
        // Counted as gone even when refused: its pages are never read again either way.
        m_.memory_.Decommit(m_.codeBase_ + begin, end - begin);
        SetAccess(begin, end, kDecommitted, true);
    }

    void SetAccess(std::uint64_t begin, std::uint64_t end, std::uint8_t access, bool replace) {
        for (std::uint64_t page = begin / kPageSize; page * kPageSize < end && page < m_.pageAccess_.size();
             ++page) {
            std::uint8_t& state = m_.pageAccess_[page];
            if (!(state & kDecommitted)) state = replace ? access : (state & access);
        }
    }

    void RegisterFunctionTable() {
        const Directory dir = h_.dirs[kExceptionDir];
        if (!h_.pe64 || dir.size < 12 || !image_.Has(dir.rva, dir.size)) return;
        const std::uintptr_t table = reinterpret_cast<std::uintptr_t>(m_.codeBase_ + dir.rva);
        if (m_.modules_.AddFunctionTable(table, dir.size / 12, Base())) m_.functionTable_ = table;
    }

    // The image's addresses inside its TLS directory are absolute and already relocated.
    std::uint64_t TlsAddressToOffset(std::uint64_t va) const {
        const std::uint64_t rva = h_.pe64 ? va - Base() : static_cast<std::uint32_t>(va - Base());
        if (rva >= m_.imageSize_) Fail(kBadTls);
        return rva;
    }

    void FindInitRoutines() {
        if (h_.entryPoint) {
            // Only code the image can run from: committed and executable.
            if (!image_.Has(h_.entryPoint, 1, kExecute)) Fail("BTMemoryLoadLibary: Get DLLEntyPoint failed");
            m_.entryPoint_ = static_cast<std::uintptr_t>(Base() + h_.entryPoint);
        }
        const Directory dir = h_.dirs[kTlsDir];
        if (dir.size == 0) return;
        const unsigned width = h_.pe64 ? 8 : 4;
        const std::uint64_t callbacks = image_.Read(std::uint64_t{dir.rva} + 3 * width, width, kBadTls);
        if (callbacks == 0) return;
        for (std::uint64_t at = TlsAddressToOffset(callbacks);; at += width) {
            const std::uint64_t callback = image_.Read(at, width, kBadTls);
            if (callback == 0) break;
            const std::uint64_t routine = TlsAddressToOffset(callback);
            if (!image_.Has(routine, 1, kExecute)) Fail(kBadTls);
            m_.tlsCallbacks_.push_back(static_cast<std::uintptr_t>(Base() + routine));
        }
    }

    void Attach() {
        constexpr std::uint32_t kProcessAttach = 1;
        for (std::uintptr_t callback : m_.tlsCallbacks_)
            m_.modules_.CallInitRoutine(callback, Base(), kProcessAttach, false);
        if (m_.entryPoint_ && !m_.modules_.CallInitRoutine(m_.entryPoint_, Base(), kProcessAttach, true))
            Fail("BTMemoryLoadLibary: Can't attach library");
        m_.attached_ = true;
    }

    const Bytes& file_;
    const PeHeaders& h_;
    TBTMemoryModule& m_;
    Bytes image_;
};

TBTMemoryModule::~TBTMemoryModule() {
    constexpr std::uint32_t kProcessDetach = 0;
    const auto base = reinterpret_cast<std::uintptr_t>(codeBase_);
    if (attached_) {
        for (std::uintptr_t callback : tlsCallbacks_) modules_.CallInitRoutine(callback, base, kProcessDetach, false);
        if (entryPoint_) modules_.CallInitRoutine(entryPoint_, base, kProcessDetach, true);
    }
    if (functionTable_) modules_.DeleteFunctionTable(functionTable_);
    for (auto it = modulesLoaded_.rbegin(); it != modulesLoaded_.rend(); ++it) modules_.ReleaseModule(*it);
    if (codeBase_) memory_.Release(codeBase_, imageSize_);
}

PBTMemoryModule BTMemoryLoadLibary(std::span<const std::uint8_t> image, unsigned protect, bool callEntry,
                                   VirtualMemoryService& memory, ModuleService& modules) {
    try {
        const Bytes file(image.data(), image.size());
        const PeHeaders headers = ReadHeaders(file, modules);
        auto module = std::make_unique<TBTMemoryModule>(memory, modules);
        TBTImageMapper(file, headers, *module).Map(protect, callEntry);
        return module;
    } catch (const LoadFailure& f) {
        g_lastError = f.text;
    } catch (const std::bad_alloc&) {
        g_lastError = "BTMemoryLoadLibary: out of memory";
    }
    return nullptr;
}

std::uintptr_t BTMemoryGetProcAddress(const TBTMemoryModule* module, std::string_view name) {
    try {
        if (!module) Fail("BTMemoryGetProcAddress: no export table found");
        if (name.find('\0') != std::string_view::npos) Fail("BTMemoryGetProcAddress: exported symbol not found");
        const Bytes image(module->codeBase_, module->imageSize_, module->pageAccess_);
        const std::uint32_t rva = module->exportRva_, size = module->exportSize_;
        if (size == 0) Fail("BTMemoryGetProcAddress: no export table found");
        const std::uint32_t functionCount = image.U32(std::uint64_t{rva} + 20, kBadExports);
        const std::uint32_t nameCount = image.U32(std::uint64_t{rva} + 24, kBadExports);
        if (functionCount == 0 || nameCount == 0) Fail("BTMemoryGetProcAddress: DLL doesn't export anything");
        const std::uint32_t functions = image.U32(std::uint64_t{rva} + 28, kBadExports);
        const std::uint32_t names = image.U32(std::uint64_t{rva} + 32, kBadExports);
        const std::uint32_t ordinals = image.U32(std::uint64_t{rva} + 36, kBadExports);
        const Bytes nameTable = image.Slice(names, std::uint64_t{nameCount} * 4, kBadExports);
        const Bytes ordinalTable = image.Slice(ordinals, std::uint64_t{nameCount} * 2, kBadExports);
        for (std::uint32_t i = 0; i < nameCount; ++i) {
            if (!image.NameEquals(nameTable.U32(std::uint64_t{i} * 4, kBadExports), name)) continue;
            const std::uint16_t index = ordinalTable.U16(std::uint64_t{i} * 2, kBadExports);
            if (index >= functionCount) Fail("BTMemoryGetProcAddress: name <-> ordinal number don't match");
            const std::uint32_t function = image.U32(functions + std::uint64_t{index} * 4, kBadExports);
            if (function == 0 || function >= module->imageSize_) Fail(kBadExports);
            // A forwarder points at a text naming another library's function, not at code.
            if (function >= rva && function - rva < size) Fail("BTMemoryGetProcAddress: exported symbol is forwarded");
            return reinterpret_cast<std::uintptr_t>(module->codeBase_) + function;
        }
        Fail("BTMemoryGetProcAddress: exported symbol not found");
    } catch (const LoadFailure& f) {
        g_lastError = f.text;
    }
    return 0;
}

void BTMemoryFreeLibrary(PBTMemoryModule& module) { module.reset(); }

const std::string& BTMemoryLastError() { return g_lastError; }

}  // namespace tarvos
