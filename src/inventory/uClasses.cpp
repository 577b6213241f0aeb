#include "inventory/uClasses.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>

#include "platform/DateTime.hpp"
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
    size_t b = 0, e = name.size();
    while (b < e && static_cast<unsigned char>(name[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(name[e - 1]) <= 32) --e;
    return LowerUser(name.substr(b, e - b));
}

size_t TFileList::LowerBound(std::string_view key) const {
    auto it = std::lower_bound(list_.begin(), list_.end(), key,
                               [](const Entry& e, std::string_view k) { return e.key < k; });
    return static_cast<size_t>(it - list_.begin());
}

void TFileList::InvalidateIndex() const {
    indexValid_ = false;
    lookupsSinceChange_ = 0;
}

// Linear probing; the table is kept at most half full.
bool TFileList::IndexInsert(uint32_t id) const {
    const size_t mask = slots_.size() - 1;
    const std::string& key = list_[id].key;
    for (size_t h = std::hash<std::string_view>{}(key) & mask;; h = (h + 1) & mask) {
        if (slots_[h] == 0) {
            slots_[h] = id + 1;
            return true;
        }
        if (list_[slots_[h] - 1].key == key) return false;
    }
}

int32_t TFileList::IndexFind(std::string_view key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t h = std::hash<std::string_view>{}(key) & mask;; h = (h + 1) & mask) {
        if (slots_[h] == 0) return -1;
        if (list_[slots_[h] - 1].key == key) return static_cast<int32_t>(slots_[h] - 1);
    }
}

void TFileList::BuildIndex() const {
    size_t size = 16;
    while (size < list_.size() * 2) size *= 2;
    slots_.assign(size, 0);
    for (uint32_t i = 0; i < list_.size(); ++i) IndexInsert(i);
    indexValid_ = true;
}

int32_t TFileList::Search(std::string_view key) const {
    if (!indexValid_) {
        size_t threshold = sorted_ ? 16 + list_.size() / 16 : 4;
        if (++lookupsSinceChange_ >= threshold) BuildIndex();
    }
    if (indexValid_) return IndexFind(key);
    if (sorted_) {
        size_t pos = LowerBound(key);
        return pos < list_.size() && list_[pos].key == key ? static_cast<int32_t>(pos) : -1;
    }
    for (size_t i = 0; i < list_.size(); ++i)
        if (list_[i].key == key) return static_cast<int32_t>(i);
    return -1;
}

void TFileList::Append(std::string key, std::unique_ptr<TFileItem> item) {
    list_.push_back({std::move(key), std::move(item)});
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
    if (!sorted_ || list_.empty() || list_.back().key < key) return Append(std::move(key), std::move(item));
    size_t pos = LowerBound(key);
    if (pos < list_.size() && list_[pos].key == key) return;
    list_.insert(list_.begin() + static_cast<std::ptrdiff_t>(pos), Entry{std::move(key), std::move(item)});
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

int32_t TFileList::GetId(std::string_view name) const { return Search(KeyOf(name)); }

TFileItem* TFileList::GetItemByName(std::string_view name) const { return GetItemByID(GetId(name)); }

TFileItem* TFileList::GetItemByID(int32_t id) const {
    if (id < 0 || id >= GetCount()) return nullptr;
    return list_[static_cast<size_t>(id)].item.get();
}

const std::string& TFileList::GetKey(int32_t id) const {
    static const std::string none;
    if (id < 0 || id >= GetCount()) return none;
    return list_[static_cast<size_t>(id)].key;
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
        std::stable_sort(list_.begin(), list_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
        InvalidateIndex();
    }
    sorted_ = sort;
}

void TFileList::SwapItems(int32_t id1, int32_t id2) {
    if (sorted_ || id1 < 0 || id2 < 0 || id1 >= GetCount() || id2 >= GetCount()) return;
    Entry& a = list_[static_cast<size_t>(id1)];
    Entry& b = list_[static_cast<size_t>(id2)];
    if (!a.item || !b.item) return;
    std::swap(a.key, b.key);
    std::swap(a.item->Content, b.item->Content);
    InvalidateIndex();
}

void TFileList::SortAndDropDuplicates() {
    // Sorting small (key view, position) pairs moves far less memory than sorting entries;
    // the position breaks ties so that the first of equal keys comes first and is kept.
    struct Ref {
        std::string_view key;
        uint32_t pos;
    };
    std::vector<Ref> refs;
    refs.reserve(list_.size());
    for (uint32_t i = 0; i < list_.size(); ++i) refs.push_back({list_[i].key, i});
    std::sort(refs.begin(), refs.end(), [](const Ref& a, const Ref& b) {
        int c = a.key.compare(b.key);
        return c < 0 || (c == 0 && a.pos < b.pos);
    });
    std::vector<Entry> sorted;
    sorted.reserve(list_.size());
    for (size_t i = 0; i < refs.size(); ++i) {
        if (!sorted.empty() && refs[i].key == sorted.back().key) continue;
        sorted.push_back(std::move(list_[refs[i].pos]));
    }
    refs.clear();  // the views point into list_'s keys
    list_ = std::move(sorted);
}

void TFileList::LoadFromStrings(const std::vector<std::string>& source) {
    Clear();
    list_.reserve(source.size());
    for (const auto& line : source) {
        if (ApplicationTerminated()) break;
        // Lines without any field separator (blank ones included) carry no file.
        if (line.find('|') == std::string::npos) continue;
        TFileRecord r = ParseFileListLine(line);
        std::string key = KeyOf(r.Name);
        list_.push_back({std::move(key), std::make_unique<TFileItem>(std::move(r))});
    }
    // One sort for the whole load instead of one insertion per line; the stable sort keeps
    // the first of several lines with the same key, as adding them one by one would.
    if (sorted_) SortAndDropDuplicates();
    InvalidateIndex();
}

void TFileList::LoadFromFile(const std::string& fileName) { LoadFromStrings(ReadTextLines(fileName)); }

void TFileList::SaveToStrings(std::vector<std::string>* target) const {
    if (!target) return;
    target->clear();
    target->reserve(list_.size());
    for (const auto& e : list_)
        if (e.item) target->push_back(FormatFileListLine(e.item->Content));
}

void TFileList::SaveToFile(const std::string& fileName) const {
    std::vector<std::string> lines;
    SaveToStrings(&lines);
    WriteTextLines(fileName, lines);
}

}  // namespace tarvos
