#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvos {

// The digest text that stands for "not known", "file absent" or "nothing to verify".
inline constexpr std::string_view kEmptyDigest = "00000000000000000000000000000000";

// One file of an inventory. Name is relative to the game folder and begins with "\";
// Date is the last-write time as a local date value (0: none).
struct TFileRecord {
    std::string Name;
    std::string Hash;
    std::string HashPacked;
    int64_t Size = 0;
    double Date = 0;

    bool operator==(const TFileRecord&) const = default;
};

class TFileItem {
public:
    TFileItem() = default;
    explicit TFileItem(TFileRecord content) : Content(std::move(content)) {}
    TFileRecord Content;
};

// A keyed list of owned file items. The key of a name is the name trimmed and lower-cased,
// so names differing only in letter case or surrounding blanks denote one entry.
// Sorted mode keeps the keys in ascending order (byte order of the lower-cased UTF-8 keys,
// i.e. code point order) and ignores an added key that already exists; unsorted mode
// keeps the order of adding and allows duplicates.
class TFileList {
public:
    explicit TFileList(bool isSorted);
    ~TFileList();
    TFileList(const TFileList&) = delete;
    TFileList& operator=(const TFileList&) = delete;

    static std::string KeyOf(std::string_view name);
    static void KeyInto(std::string& key, std::string_view name);

    // Takes ownership; in sorted mode an existing key makes it add nothing (the item is freed).
    void AddItem(const std::string& name, std::unique_ptr<TFileItem> item);
    void AddItemSimple(const std::string& name, const std::string& hash, const std::string& hashPacked,
                       int64_t size, double date);
    void AddItemEmpty(const std::string& name);

    int32_t GetId(std::string_view name) const;
    TFileItem* GetItemByName(std::string_view name) const;
    TFileItem* GetItemByID(int32_t id) const;
    std::string_view GetKey(int32_t id) const;

    void DeleteById(int32_t id);
    void DeleteByName(std::string_view name);
    void Clear();

    int32_t GetCount() const { return static_cast<int32_t>(list_.size()); }
    int32_t Count() const { return GetCount(); }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool sort);
    void SwapItems(int32_t id1, int32_t id2);

    // Lines without any "|" (blank lines included) are skipped; a date field that holds a
    // blank but no valid date and time reads as 0.
    void LoadFromStrings(const std::vector<std::string>& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToStrings(std::vector<std::string>* target) const;
    void SaveToFile(const std::string& fileName) const;

private:
    // One entry: its item, the key's hash and the key's bytes right behind it in the same
    // allocation, so that a lookup touches one block per entry it compares.
    struct Entry {
        std::unique_ptr<TFileItem> item;
        uint64_t hash;
        uint32_t keyLength;
        std::string_view Key() const { return {reinterpret_cast<const char*>(this + 1), keyLength}; }
    };
    struct EntryDeleter {
        void operator()(Entry* e) const;
    };
    using EntryPtr = std::unique_ptr<Entry, EntryDeleter>;
    static EntryPtr MakeEntry(std::string_view key, std::unique_ptr<TFileItem> item);

    struct Slot {
        uint32_t id1 = 0;  // entry index + 1; 0 is a free slot
        uint32_t tag = 0;  // the upper half of the key's hash, to skip most key comparisons
    };

    size_t LowerBound(std::string_view key) const;
    int32_t Search(std::string_view key) const;
    void SortAndDropDuplicates();
    void Append(EntryPtr entry);

    // A hash index from key to the first entry with that key, built lazily once enough
    // lookups have come since the last change to pay for it; binary search (sorted) or a
    // scan (unsorted) serves the lookups in between. It keeps GetId fast on large lists,
    // where every step of a binary search is a cache miss.
    void InvalidateIndex() const;
    void BuildIndex() const;
    bool IndexInsert(uint32_t id) const;
    int32_t IndexFind(std::string_view key, uint64_t hash) const;

    std::vector<EntryPtr> list_;
    bool sorted_;
    mutable std::vector<Slot> slots_;
    mutable bool indexValid_ = false;
    mutable size_t lookupsSinceChange_ = 0;
};

// The list line format: digest|name|size|date|packed digest.
TFileRecord ParseFileListLine(std::string_view line);
std::string FormatFileListLine(const TFileRecord& record);
// The date field: empty, a regional date and time (if it holds a blank), or the 64-bit
// pattern of the double in hexadecimal. Anything unreadable is 0.
double ParseListDate(std::string_view field);

}  // namespace tarvos
