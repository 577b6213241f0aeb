#pragma once
#include <functional>
#include <string>

namespace tarvos {

// One start of a program through the shell: the verb ("runas" asks for elevation), the
// program's full path, its command line and its working folder.
struct TProgramStart {
    std::string Verb;
    std::string File;
    std::string Parameters;
    std::string Folder;
};
// Starts the program; its outcome is not examined.
using ProgramStarter = std::function<void(const TProgramStart& start)>;

// What the start button reads from the configuration and the main window.
struct TGameStartInput {
    std::string LangFolderMap;  // Config.LangFolder: "name;folder|name;folder..."
    std::string LangFolder;     // the user's entry of that map
    bool UseProxy = false;
    std::string ProxyLine;  // the answering proxy's entry, or empty
    bool AutoClose = false;
    std::string MainPath;  // the launcher's folder, no trailing separator
};

// The client folder of the language folder: the last map entry whose name equals it
// exactly, "system" when none does.
std::string ClientFolder(const std::string& langFolderMap, const std::string& langFolder);

// The start button: installs the answering proxy's game settings file as "t2.ini" of the
// client folder, starts "t2.exe" there elevated with the proxy file's name as its command
// line, and returns true when the launcher is to close now (auto-close).
bool StartGame(const TGameStartInput& input, const ProgramStarter& start);

}  // namespace tarvos
