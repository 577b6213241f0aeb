#include "startup/ConsoleWindows.hpp"

namespace tarvos {

void ConsoleWindows::CreateWindows(StartupState& state) {
    const Bitmap& background = state.skin->MainWindow.BackGroundImage.image;
    if (background.width <= 0) {
        out_ << "Sorry! Not found the config" << std::endl;
        return;
    }
    const tConfigData& c = *state.config;
    out_ << state.instanceName << ": main window " << background.width << "x" << background.height << ", "
         << c.UpdateServers.Servers.size() << " update servers, " << c.ProxyServers.Servers.size() << " game proxies, "
         << c.LanguageCollection.List.size() << " languages" << std::endl;
}

}  // namespace tarvos
