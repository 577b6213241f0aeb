#pragma once
#include <string>

namespace tarvos {

// Tells the user something that needs no answer: a message box on Windows, a line on
// stderr for the console programs.
void ShowMessageBox(const std::string& title, const std::string& text);

}  // namespace tarvos
