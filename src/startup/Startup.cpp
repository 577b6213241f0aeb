#include "startup/Startup.hpp"

#include <cstdlib>
#include <ctime>

#include "platform/Error.hpp"
#include "platform/Text.hpp"

namespace tarvos {

bool DebugRequested(const std::vector<std::string>& args) {
    return !args.empty() && LowerUser(args[0]) == "-debug";
}

namespace {

void ReadPackage(StartupState& s, MemoryStream& stream) {
    stream.Seek(0, SeekOrigin::Begin);
    try {
        s.skin->MainWindow.LoadFromStream(stream);
        s.skin->ConfigWindow.LoadFromStream(stream);
    } catch (const TarvosError&) {
        // A damaged package must not start a half-skinned launcher: drop all of it, so the
        // main window reports the missing configuration.
        s.skin = std::make_unique<TtucConfig>();
        return;
    }
    s.config->ParseConfig(stream);
}

}  // namespace

StartupState PrepareStartup(const std::vector<std::string>& args, const Resources& resources) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    StartupState s;
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
    StartupState s = PrepareStartup(args, resources);
    if (windows.ActivateOtherInstance(s.instanceName)) return 0;
    windows.CreateWindows(s);
    if (s.config->Config.LangFolder.empty()) s.config->Config.LangFolder = "default;system";
    int code = windows.Run();
    s.config.reset();
    return code;
}

}  // namespace tarvos
