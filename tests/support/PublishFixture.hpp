#pragma once
#include <string>

namespace tarvos::test {

// Turns a game folder into an update-server folder with the operator's real publishing
// tool, named in TARVOS_PUBLISH (the native build's: it runs beside the tests, also beside
// the Windows tests under Wine, where the rar program cannot run), with the options written
// in "options.txt" beside the delete file when there is one ("{dir}" in them: that folder). Empty when it worked, else the
// reason.
std::string PublishFolder(const std::string& game, const std::string& server, const std::string& requiredFile,
                          const std::string& deleteFile);

}  // namespace tarvos::test
