// Arbitrary text as a list: loading must neither crash nor lose the sorted order, and what
// a loaded list writes must load back to the same records.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "inventory/uClasses.hpp"
#include "platform/Text.hpp"

using namespace tarvos;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TFileList list(true);
    list.LoadFromStrings(SplitLines(DecodeText(text)));
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (i > 0 && !(list.GetKey(i - 1) < list.GetKey(i))) std::abort();
        if (list.GetId(list.GetItemByID(i)->Content.Name) != i) std::abort();
    }
    std::vector<std::string> lines;
    list.SaveToStrings(&lines);
    TFileList back(true);
    back.LoadFromStrings(lines);
    if (back.Count() > list.Count()) std::abort();
    for (int32_t i = 0; i < back.Count(); ++i) {
        const TFileRecord& a = list.GetItemByID(i)->Content;
        const TFileRecord& b = back.GetItemByID(i)->Content;
        // A name holding "|" or a line break cannot survive the line format; skip those.
        if (a.Name.find_first_of("|\r\n") != std::string::npos || a.Hash.find_first_of("|\r\n") != std::string::npos ||
            a.HashPacked.find_first_of("|\r\n") != std::string::npos)
            continue;
        if (a.Name != b.Name || a.Hash != b.Hash || a.HashPacked != b.HashPacked || a.Size != b.Size ||
            std::bit_cast<uint64_t>(a.Date) != std::bit_cast<uint64_t>(b.Date))
            std::abort();
    }
    return 0;
}
