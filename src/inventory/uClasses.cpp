#include "inventory/uClasses.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/DateTime.hpp"
#include "platform/Error.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Terminate.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {
// Cuts the text before the next "|" off s (the "|" too); the whole rest when there is none.
std::string_view NextField(std::string_view& s) {
    size_t p = s.find('|');
    std::string_view field = s.substr(0, p);
    s = p == std::string_view::npos ? std::string_view{} : s.substr(p + 1);
    return field;
}

int64_t ParseSize(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

double ParseHexDate(std::string_view text) {
    uint64_t bits = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), bits, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    return std::bit_cast<double>(bits);
}
}  // namespace

double ParseListDate(std::string_view field) {
    if (field.empty()) return 0;
    // A server typo in a regional date must not stop the whole list from loading: it reads
    // as "no date", which at worst makes a size-and-date check fetch the file again.
    if (field.find(' ') != std::string_view::npos) return ParseDateTime(field).value_or(0);
    return ParseHexDate(field);
}

TFileRecord ParseFileListLine(std::string_view s) {
    TFileRecord r;
    r.Hash = NextField(s);
    r.Name = NextField(s);
    r.Size = ParseSize(NextField(s));
    r.Date = ParseListDate(NextField(s));
    r.HashPacked = NextField(s);
    return r;
}

std::string FormatFileListLine(const TFileRecord& r) {
    char date[17];
    std::snprintf(date, sizeof date, "%016llX", static_cast<unsigned long long>(std::bit_cast<uint64_t>(r.Date)));
    std::string line;
    line.reserve(r.Hash.size() + r.Name.size() + r.HashPacked.size() + 40);
    line.append(r.Hash).append("|").append(r.Name).append("|").append(std::to_string(r.Size));
    line.append("|").append(date).append("|").append(r.HashPacked);
    return line;
}

TFileList::TFileList(bool isSorted) : sorted_(isSorted) {}

TFileList::~TFileList() { Clear(); }

std::string TFileList::KeyOf(std::string_view name) {
    std::string key;
    KeyInto(key, name);
    return key;
}

void TFileList::KeyInto(std::string& key, std::string_view name) {
    size_t b = 0, e = name.size();
    while (b < e && static_cast<unsigned char>(name[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(name[e - 1]) <= 32) --e;
    name = name.substr(b, e - b);
    // Most names are plain ASCII, which lower-cases the same in every locale.
    for (unsigned char c : name)
        if (c >= 0x80) {
            key = LowerUser(name);
            return;
        }
    key.assign(name);
    for (auto& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

namespace {
uint64_t HashKey(std::string_view key) { return std::hash<std::string_view>{}(key); }
}  // namespace

void TFileList::EntryDeleter::operator()(Entry* e) const {
    e->~Entry();
    ::operator delete(e);
}

TFileList::EntryPtr TFileList::MakeEntry(std::string_view key, std::unique_ptr<TFileItem> item) {
    void* block = ::operator new(sizeof(Entry) + key.size());
    auto* entry = new (block) Entry{std::move(item), HashKey(key), static_cast<uint32_t>(key.size())};
    std::memcpy(static_cast<char*>(block) + sizeof(Entry), key.data(), key.size());
    return EntryPtr(entry);
}

size_t TFileList::LowerBound(std::string_view key) const {
    auto it = std::lower_bound(list_.begin(), list_.end(), key,
                               [](const EntryPtr& e, std::string_view k) { return e->Key() < k; });
    return static_cast<size_t>(it - list_.begin());
}

void TFileList::InvalidateIndex() const {
    indexValid_ = false;
    lookupsSinceChange_ = 0;
}

// Linear probing; the table is kept at most half full.
bool TFileList::IndexInsert(uint32_t id) const {
    const size_t mask = slots_.size() - 1;
    const Entry& entry = *list_[id];
    const auto tag = static_cast<uint32_t>(entry.hash >> 32);
    for (size_t h = entry.hash & mask;; h = (h + 1) & mask) {
        Slot& slot = slots_[h];
        if (slot.id1 == 0) {
            slot = Slot{id + 1, tag};
            return true;
        }
        if (slot.tag == tag && list_[slot.id1 - 1]->Key() == entry.Key()) return false;
    }
}

int32_t TFileList::IndexFind(std::string_view key, uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    const auto tag = static_cast<uint32_t>(hash >> 32);
    for (size_t h = hash & mask;; h = (h + 1) & mask) {
        const Slot& slot = slots_[h];
        if (slot.id1 == 0) return -1;
        if (slot.tag == tag && list_[slot.id1 - 1]->Key() == key) return static_cast<int32_t>(slot.id1 - 1);
    }
}

void TFileList::BuildIndex() const {
    size_t size = 16;
    while (size < list_.size() * 2) size *= 2;
    slots_.assign(size, Slot{});
    for (uint32_t i = 0; i < list_.size(); ++i) IndexInsert(i);
    indexValid_ = true;
}

int32_t TFileList::Search(std::string_view key) const {
    if (!indexValid_) {
        // Building costs about as much as a few hundred binary searches of a large list.
        size_t threshold = sorted_ ? 8 + list_.size() / 256 : 2;
        if (++lookupsSinceChange_ >= threshold) BuildIndex();
    }
    if (indexValid_) return IndexFind(key, HashKey(key));
    if (sorted_) {
        size_t pos = LowerBound(key);
        return pos < list_.size() && list_[pos]->Key() == key ? static_cast<int32_t>(pos) : -1;
    }
    for (size_t i = 0; i < list_.size(); ++i)
        if (list_[i]->Key() == key) return static_cast<int32_t>(i);
    return -1;
}

void TFileList::Append(EntryPtr entry) {
    list_.push_back(std::move(entry));
    if (!indexValid_) return;
    if (list_.size() * 2 > slots_.size()) {
        InvalidateIndex();
    } else {
        IndexInsert(static_cast<uint32_t>(list_.size() - 1));
    }
}

void TFileList::AddItem(const std::string& name, std::unique_ptr<TFileItem> item) {
    std::string key = KeyOf(name);
    // Lists are often filled in key order; appending then costs no search and no shifting.
    if (!sorted_ || list_.empty() || list_.back()->Key() < key) return Append(MakeEntry(key, std::move(item)));
    size_t pos = LowerBound(key);
    if (pos < list_.size() && list_[pos]->Key() == key) return;
    list_.insert(list_.begin() + static_cast<std::ptrdiff_t>(pos), MakeEntry(key, std::move(item)));
    InvalidateIndex();
}

void TFileList::AddItemSimple(const std::string& name, const std::string& hash, const std::string& hashPacked,
                              int64_t size, double date) {
    if (ApplicationTerminated()) return;
    AddItem(name, std::make_unique<TFileItem>(TFileRecord{name, hash, hashPacked, size, date}));
}

void TFileList::AddItemEmpty(const std::string& name) {
    AddItemSimple(name, std::string(kEmptyDigest), std::string(kEmptyDigest), 0, 0);
}

int32_t TFileList::GetId(std::string_view name) const {
    thread_local std::string key;  // lookups are frequent; spare them an allocation each
    KeyInto(key, name);
    return Search(key);
}

TFileItem* TFileList::GetItemByName(std::string_view name) const { return GetItemByID(GetId(name)); }

TFileItem* TFileList::GetItemByID(int32_t id) const {
    if (id < 0 || id >= GetCount()) return nullptr;
    return list_[static_cast<size_t>(id)]->item.get();
}

std::string_view TFileList::GetKey(int32_t id) const {
    if (id < 0 || id >= GetCount()) return {};
    return list_[static_cast<size_t>(id)]->Key();
}

void TFileList::DeleteById(int32_t id) {
    if (id < 0 || id >= GetCount()) return;
    list_.erase(list_.begin() + id);
    InvalidateIndex();
}

void TFileList::DeleteByName(std::string_view name) { DeleteById(GetId(name)); }

void TFileList::Clear() {
    list_.clear();
    InvalidateIndex();
}

void TFileList::SetSorted(bool sort) {
    if (sort && !sorted_) {
        // Entries that were duplicates in unsorted mode stay; lookups find the first of them.
        std::stable_sort(list_.begin(), list_.end(),
                         [](const EntryPtr& a, const EntryPtr& b) { return a->Key() < b->Key(); });
        InvalidateIndex();
    }
    sorted_ = sort;
}

void TFileList::SwapItems(int32_t id1, int32_t id2) {
    if (sorted_ || id1 < 0 || id2 < 0 || id1 >= GetCount() || id2 >= GetCount()) return;
    EntryPtr& a = list_[static_cast<size_t>(id1)];
    EntryPtr& b = list_[static_cast<size_t>(id2)];
    if (!a->item || !b->item) return;
    // The keys change places; the items stay where they were and exchange their records.
    std::swap(a, b);
    std::swap(a->item, b->item);
    std::swap(a->item->Content, b->item->Content);
    InvalidateIndex();
}

void TFileList::SortAndDropDuplicates() {
    // The sort compares copies of the keys packed side by side, not the keys spread over the
    // entries, so that its many comparisons stay in the cache; it moves small (key, position)
    // pairs, and the position breaks ties so that the first of equal keys is kept.
    struct Ref {
        uint32_t offset, length, pos;
    };
    std::string packed;
    std::vector<Ref> refs;
    refs.reserve(list_.size());
    for (uint32_t i = 0; i < list_.size(); ++i) {
        std::string_view key = list_[i]->Key();
        refs.push_back({static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(key.size()), i});
        packed.append(key);
    }
    const char* base = packed.data();
    auto key = [base](const Ref& r) { return std::string_view(base + r.offset, r.length); };
    std::sort(refs.begin(), refs.end(), [&key](const Ref& a, const Ref& b) {
        int c = key(a).compare(key(b));
        return c < 0 || (c == 0 && a.pos < b.pos);
    });
    std::vector<EntryPtr> sorted;
    sorted.reserve(list_.size());
    for (size_t i = 0; i < refs.size(); ++i) {
        if (i > 0 && key(refs[i]) == key(refs[i - 1])) continue;
        sorted.push_back(std::move(list_[refs[i].pos]));
    }
    list_ = std::move(sorted);  // frees the dropped duplicates
}

void TFileList::LoadFromStrings(const std::vector<std::string>& source) {
    Clear();
    list_.reserve(source.size());
    std::string key;
    for (const auto& line : source) {
        if (ApplicationTerminated()) break;
        // Lines without any field separator (blank ones included) carry no file.
        if (line.find('|') == std::string::npos) continue;
        auto item = std::make_unique<TFileItem>(ParseFileListLine(line));
        KeyInto(key, item->Content.Name);
        list_.push_back(MakeEntry(key, std::move(item)));
    }
    // One sort for the whole load instead of one insertion per line; ties keep the line
    // order, so the first of several lines with the same key stays, as when adding one by one.
    if (sorted_) SortAndDropDuplicates();
    InvalidateIndex();
}

void TFileList::LoadFromFile(const std::string& fileName) { LoadFromStrings(ReadTextLines(fileName)); }

void TFileList::SaveToStrings(std::vector<std::string>* target) const {
    if (!target) return;
    target->clear();
    target->reserve(list_.size());
    for (const auto& e : list_)
        if (e->item) target->push_back(FormatFileListLine(e->item->Content));
}

void TFileList::SaveToFile(const std::string& fileName) const {
    std::vector<std::string> lines;
    SaveToStrings(&lines);
    // Written aside and swapped in: a run killed while saving leaves the previous list whole.
    const std::string fresh = fileName + ".new";
    WriteTextLines(fresh, lines);
    if (!ReplaceFileUtf8(fresh, fileName)) {
        DeleteFileUtf8(fresh);
        throw TarvosError("Cannot write file " + fileName);
    }
}

}  // namespace tarvos
