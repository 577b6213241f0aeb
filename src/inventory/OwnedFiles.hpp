#pragma once
#include <string>
#include <vector>

namespace tarvos {

// The files that belong to the player once installed (his key bindings, his client
// options): the operator names them by patterns, and the checks install such a file when
// it is missing but never overwrite or delete it.
class TOwnedFiles {
public:
    TOwnedFiles() = default;
    // The configuration's value: patterns separated by "|", relative to the game folder,
    // with or without the leading "\" ("system\*.ini|\keys.cfg"). "*" stands for any run
    // of characters within one folder level, "?" for one character; letter case is ignored.
    explicit TOwnedFiles(const std::string& setting);

    // Whether the list name ("\system\t2.ini") is the player's.
    bool Owns(const std::string& listName) const;
    bool Empty() const { return patterns_.empty(); }

private:
    std::vector<std::string> patterns_;
};

}  // namespace tarvos
