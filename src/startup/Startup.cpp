#include "startup/Startup.hpp"

#include <cstdlib>
#include <ctime>

#include "platform/Resources.hpp"
#include "platform/Shell.hpp"
#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

bool DebugRequested(const std::vector<std::string>& args) {
    return !args.empty() && LowerUser(args[0]) == "-debug";
}

namespace {

// All pictures of a package together may hold this many pixels: many times what the
// slot's bytes could carry as plain pictures, yet far from what a 32-bit process can hold.
constexpr std::int64_t kPackagePixelBudget = 16LL * kBlankSlotSize;

void ReadPackage(StartupState& s, MemoryStream& stream) {
    stream.Seek(0, SeekOrigin::Begin);
    try {
        PixelBudget budget(kPackagePixelBudget);
        s.skin->MainWindow.LoadFromStream(stream);
        s.skin->ConfigWindow.LoadFromStream(stream);
        s.config->ParseConfig(stream);
    } catch (const std::exception&) {
        // A damaged package, or one asking for more memory than there is, must not start a
        // half-skinned launcher: drop all of it, so the main window reports the missing
        // configuration.
        s.skin = std::make_unique<TtucConfig>();
    }
}

}  // namespace

StartupState PrepareStartup(const std::vector<std::string>& args, const Resources& resources) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    StartupState s;
    s.args = args;
    s.debug = DebugRequested(args);
    s.debugFile = std::make_unique<tDebugFile>("log.err");
    s.debugFile->enabled = s.debug;
    s.config = std::make_unique<tConfigData>();
    s.debugFile->WriteErr("config created");
    s.config->debug_file = s.debugFile.get();
    MemoryStream stream;
    s.skin = std::make_unique<TtucConfig>();
    s.config->LoadConfig(stream, resources);
    ReadPackage(s, stream);
    if (!s.config->Config.Instance.empty()) s.instanceName = s.config->Config.Instance;
    return s;
}

int RunStartup(const std::vector<std::string>& args, const Resources& resources, StartupWindows& windows) {
    // Before anything else: whatever follows may look for the launcher under its name.
    PutBackSetAsideLauncher();
    StartupState s = PrepareStartup(args, resources);
    if (windows.ActivateOtherInstance(s)) return 0;
    windows.CreateWindows(s);
    if (s.config->Config.LangFolder.empty()) s.config->Config.LangFolder = "default;system";
    int code = windows.Run();
    s.config.reset();
    return code;
}

}  // namespace tarvos
