#pragma once
#include <map>
#include <string>
#include <vector>

#include "widgets/Canvas.hpp"

namespace tarvos::testing {

// A bitmap as rows of letters, one letter per pixel by its colour ('?' for any other colour),
// so that a failing comparison shows the picture.
inline std::vector<std::string> Rows(const Bitmap& b, const std::map<TColor, char>& letters) {
    std::vector<std::string> rows;
    for (int y = 0; y < b.height; ++y) {
        std::string row;
        for (int x = 0; x < b.width; ++x) {
            auto it = letters.find(b.ColorAt(x, y));
            row += it == letters.end() ? '?' : it->second;
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace tarvos::testing
