#pragma once
#include <string>

namespace tarvos::test {

// Turns a game folder into an update-server folder the way the operator's publishing tool
// does: NAME.ta2 RAR archives, "updater.lst" (digests, sizes, dates, packed digests, then the
// optional required and delete sections) and "updater.lst.ta2". Runs natively beside the
// tests (inside the test server), since the rar program cannot run under Wine. When the
// environment names a publishing tool (TARVOS_PUBLISH), that tool does the work instead.
// Empty when it worked, else the reason.
std::string PublishFolder(const std::string& game, const std::string& server, const std::string& requiredFile,
                          const std::string& deleteFile);

// A file's last-write time as the launcher's local date value (days since 1899-12-30).
double LocalFileDate(const std::string& file);

}  // namespace tarvos::test
