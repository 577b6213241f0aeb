#pragma once
#include <string>
#include <vector>

namespace tarvos {

// The command-line arguments after the program name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace tarvos
