#include "platform/MessageBox.hpp"

#include <cstdio>

namespace tarvos {

void ShowMessageBox(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

}  // namespace tarvos
