#include "platform/ProgramArguments.hpp"

#include <windows.h>
#include <shellapi.h>

#include "platform/Text.hpp"

namespace tarvos {

// The wide command line, since argv holds the arguments in the ANSI code page only.
std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        std::wstring w(wide[i]);
        args.push_back(Utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    if (wide) LocalFree(wide);
    return args;
}

}  // namespace tarvos
