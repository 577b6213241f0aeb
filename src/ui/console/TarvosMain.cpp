#include <atomic>
#include <exception>
#include <iostream>

#include "platform/Console.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/ProgramArguments.hpp"
#include "ui/console/ConsoleWindows.hpp"
#include "startup/Startup.hpp"

namespace {
// The launcher a stop request is handed to; none before it exists and after it has ended.
std::atomic<tarvos::ConsoleWindows*> g_running{nullptr};
}  // namespace

int main(int argc, char** argv) {
    try {
        using namespace tarvos;
        // First, before any thread exists: stop requests go to one waiting thread.
        OnInterruptRequest([] {
            if (ConsoleWindows* w = g_running.load())
                w->Interrupt();
            else
                EndProcessNow(kExitInterrupted);
        });
        const std::vector<std::string> args = ProgramArguments(argc, argv);
        ConsoleOptions options = ParseConsoleOptions(args);
        if (options.help) {
            std::cout << ConsoleUsage();
            return kExitUpToDate;
        }
        if (!options.error.empty()) {
            std::cerr << "tarvos-cli: " << options.error << "\n" << ConsoleUsage();
            return kExitUsage;
        }
        SetHandlerErrorSink(
            [](const std::string& text) { std::cerr << "tarvos-cli: " << text << std::endl; });
        ConsoleWindows windows(std::cout, options, StandardOutputIsTerminal());
        g_running = &windows;
        int code = kExitError;
        try {
            code = RunStartup(args, OwnResources(), windows);
        } catch (const std::exception& error) {
            std::cerr << "tarvos-cli: " << error.what() << std::endl;
        }
        g_running = nullptr;
        // A second copy, a run that failed: a script reading the JSON still gets its end.
        windows.End(code);
        return code;
    } catch (const std::exception& error) {
        std::cerr << "tarvos-cli: " << error.what() << std::endl;
        return tarvos::kExitError;
    }
}
