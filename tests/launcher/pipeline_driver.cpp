// A launcher without windows for the pipeline's process-level tests: it runs the update of
// its own folder like the real launcher (list, start-up check, optionally the full check),
// including replacing and restarting itself. Everything comes from the environment, since a
// restarted launcher gets no arguments:
//   TARVOS_DRIVER_URL        update server prefix (ending in "/")
//   TARVOS_DRIVER_MODE       check mode setting; TARVOS_DRIVER_DRIVE drive type setting
//   TARVOS_DRIVER_FULL       "1": run the full check after the start-up check
//   TARVOS_DRIVER_DIE_DURING a file name: the process dies abruptly while downloading it
//   TARVOS_DRIVER_DIE_AT     a fixed point where it dies: "unpack:NAME" (while unpacking
//                            NAME), "install:NAME" (at the first write to or rename onto the
//                            game file NAME), "self" (between the renames that replace the
//                            launcher), "list" (while saving OldList.lst)
//   TARVOS_DRIVER_GEN        generation number, raised by one for a restarted launcher
//   TARVOS_DRIVER_STOP_AFTER milliseconds: then the close button is pressed, as a player
//                            closing the window in the middle of the run
// It records "start N", "done N", "dying N" or "stopping N" lines in updater\driver.txt.
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/Environment.hpp"
#include "config/uConfigData.hpp"
#include "launcher/RecordingView.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/FileSystem.hpp"
#include "platform/RandomAccessFile.hpp"
#include "platform/Shell.hpp"
#include "platform/Text.hpp"

using namespace tarvos;
using test::SetEnv;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

void Record(const std::string& tmpPath, const std::string& line) {
    std::ofstream(PathFromUtf8(tmpPath + "\\driver.txt"), std::ios::app) << line << "\n";
}

[[noreturn]] void Die(const std::string& tmpPath, int gen) {
    Record(tmpPath, "dying " + std::to_string(gen));
    std::_Exit(9);  // as abrupt as a killed process: no clean-up of any kind
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

int main() {
    PutBackSetAsideLauncher();  // before anything else, as the launcher's start-up does
    const std::string exe = ExecutablePath();
    const auto cut = exe.find_last_of("\\/");
    const std::string mainPath = exe.substr(0, cut), exeName = exe.substr(cut + 1);
    const std::string tmpPath = mainPath + "\\updater";
    const int gen = std::atoi(Env("TARVOS_DRIVER_GEN").c_str());
    SetEnv("TARVOS_DRIVER_GEN", std::to_string(gen + 1));  // what a restarted launcher sees
    // Left over from replacing itself, as the window's creation does it.
    DeleteFileUtf8(mainPath + "\\" + exeName + ".bak");
    CreateFolderUtf8(tmpPath);
    Record(tmpPath, "start " + std::to_string(gen));

    TLanguageArray lang;
    for (size_t i = 0; i < lang.size(); ++i) lang[i] = "<" + std::to_string(i) + ">";
    tDebugFile debug(tmpPath + "\\log.err");
    debug.enabled = true;
    test::RecordingView view;
    view.Print = true;
    TFMain main(view, MainLoop(), lang, SystemShell(), &debug);
    main.MainPath = mainPath;
    main.TmpPath = tmpPath;
    main.ExeName = exeName;
    main.URLMain = Env("TARVOS_DRIVER_URL");
    main.CheckMode = Env("TARVOS_DRIVER_MODE");
    main.DriveType = Env("TARVOS_DRIVER_DRIVE");
    main.OnSaveSettings = [&] { Record(tmpPath, "settings " + std::to_string(gen)); };
    const std::string dieDuring = Env("TARVOS_DRIVER_DIE_DURING");
    main.DM->OnProgress = [&](TDownloadMultiThread& dm, int64_t loaded, int64_t size) {
        if (!dieDuring.empty() && main.OldName == dieDuring && loaded > 0 && loaded < size) Die(tmpPath, gen);
        main.UpdateDMProgress(dm, loaded, size);
    };
    Timer stopper(MainLoop(), std::max(1, std::atoi(Env("TARVOS_DRIVER_STOP_AFTER").c_str())));
    stopper.OnTimer([&] {
        stopper.SetEnabled(false);
        Record(tmpPath, "stopping " + std::to_string(gen));
        main.Button_CloseClick();
    });
    stopper.SetEnabled(!Env("TARVOS_DRIVER_STOP_AFTER").empty());
    const std::string dieAt = Env("TARVOS_DRIVER_DIE_AT");
    if (dieAt.rfind("unpack:", 0) == 0)
        main.OnUnpackProgress = [&](const std::string& name, int64_t done, int64_t) {
            if (name == "\\" + dieAt.substr(7) && done > 0) Die(tmpPath, gen);
        };
    SetFileStepHookForTests([&](FileStep step, const std::string& path) {
        const bool install = dieAt.rfind("install:", 0) == 0 && path == mainPath + "\\" + dieAt.substr(8) &&
                             (step == FileStep::Write || step == FileStep::Rename);
        const bool self = dieAt == "self" && step == FileStep::Rename && path == mainPath + "\\" + exeName;
        const bool list = dieAt == "list" && step == FileStep::Rename && EndsWith(path, "OldList.lst");
        if (install || self || list) Die(tmpPath, gen);
        return 0;
    });
    try {
        main.FetchUpdaterList();
        main.CheckingRequiredFiles();
        if (Env("TARVOS_DRIVER_FULL") == "1") main.Button_CheckAllFilesClick();
    } catch (const std::exception& e) {
        Record(tmpPath, std::string("error ") + e.what());
        return 1;
    }
    Record(tmpPath, "done " + std::to_string(gen));
    return 0;
}
