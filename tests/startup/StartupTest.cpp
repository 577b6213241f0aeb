#include <gtest/gtest.h>

#include <sstream>

#include "Injector.hpp"
#include "SkinWriter.hpp"
#include "config/BmpFixtures.hpp"
#include "config/TempFolder.hpp"
#include "ui/console/ConsoleWindows.hpp"
#include "startup/Startup.hpp"
#include "startup/tDebugFile.hpp"
#include "platform/Text.hpp"

using namespace tarvos;
using namespace tarvos::pack;
using namespace tarvos::testing;

TEST(DebugFile, RecordsOnlyWhenEnabledAndRewritesTheWholeFile) {
    TempFolder cwd("tarvos-debugfile");
    {
        tDebugFile off("log.err");
        off.WriteErr("not recorded");
        EXPECT_TRUE(off.ts.empty());
    }
    EXPECT_FALSE(std::filesystem::exists("log.err"));

    tDebugFile log("log.err");
    log.enabled = true;
    log.WriteErr("first");
    EXPECT_EQ(FileText("log.err"), "first\r\n");
    std::ofstream("log.err") << "clobbered by someone else";
    log.WriteErr("second \xD0\x96");
    EXPECT_EQ(FileText("log.err"), "first\r\n" + Utf8ToAnsi("second \xD0\x96") + "\r\n")
        << "every line rewrites the whole log, in the ANSI code page";

    tDebugFile memory;
    memory.enabled = true;
    memory.WriteErr("kept in memory");
    EXPECT_EQ(memory.ts, std::vector<std::string>{"kept in memory"});
}

TEST(Startup, OnlyAFirstArgumentDebugInAnyCaseTurnsTheLogOn) {
    EXPECT_TRUE(DebugRequested({"-DEBUG"}));
    EXPECT_TRUE(DebugRequested({"-Debug", "x"}));
    EXPECT_FALSE(DebugRequested({"x", "-debug"}));
    EXPECT_FALSE(DebugRequested({"debug"}));
    EXPECT_FALSE(DebugRequested({}));
}

namespace {

Bytes TestPackage(std::string_view configText, bool truncate = false) {
    Bytes bodyBg, blocks;
    PutSized(bodyBg, MakeBmp(Pattern(4, 3, {0x102030, 0x405060}), 24));
    PutSized(bodyBg, {});
    PutBlock(blocks, 1, bodyBg);
    Bytes package = Section(12346, 1, blocks);
    Bytes settings = Section(23457, 0, {});
    package.insert(package.end(), settings.begin(), settings.end());
    if (truncate) package.resize(40);
    package.insert(package.end(), configText.begin(), configText.end());
    return package;
}

struct Slot {
    Bytes bytes;
    MemoryResources resources;
    explicit Slot(const Bytes& package) : bytes(SlotBytes(PackForSlot(package))), resources("blank", bytes) {}
};

class RecordingWindows : public StartupWindows {
public:
    bool other = false;
    std::vector<std::string> calls;
    std::string langFolderAtRun;
    bool ActivateOtherInstance(StartupState& s) override {
        calls.push_back("check " + s.instanceName);
        return other;
    }
    void CreateWindows(StartupState& s) override {
        calls.push_back("create, lang folder \"" + s.config->Config.LangFolder + "\"");
        state = &s;
    }
    int Run() override {
        langFolderAtRun = state->config->Config.LangFolder;
        calls.push_back("run");
        return 0;
    }
    StartupState* state = nullptr;
};

}  // namespace

TEST(Startup, ReadsBothSkinsThenTheTextFromOnePackage) {
    TempFolder cwd("tarvos-startup");
    Slot slot(TestPackage("[config]\ninstance=My Game\n[updateservers]\nurl=http://127.0.0.1/\n"));
    StartupState s = PrepareStartup({"-debug"}, slot.resources);
    EXPECT_TRUE(s.debug);
    EXPECT_EQ(s.instanceName, "My Game");
    EXPECT_EQ(s.skin->MainWindow.BackGroundImage.image.width, 4);
    EXPECT_EQ(s.config->UpdateServers.Servers.size(), 1u);
    EXPECT_EQ(s.config->debug_file, s.debugFile.get());
    auto log = FileText("log.err");
    EXPECT_EQ(log.substr(0, log.find("\r\n  read")), "config created\r\n  try load config");
}

TEST(Startup, DamagedPackageCountsAsNoConfiguration) {
    TempFolder cwd("tarvos-startup");
    Slot slot(TestPackage("[config]\ninstance=My Game\n", true));
    StartupState s = PrepareStartup({}, slot.resources);
    EXPECT_EQ(s.skin->MainWindow.BackGroundImage.image.width, 0);
    EXPECT_EQ(s.instanceName, "AutoUpdater");
    EXPECT_TRUE(s.config->Config.Instance.empty());
    EXPECT_FALSE(std::filesystem::exists("log.err"));

    std::ostringstream out;
    ConsoleWindows console(out);
    console.CreateWindows(s);
    EXPECT_EQ(out.str(), "Sorry! Not found the config\n");
}

TEST(Startup, SequenceChecksForAnotherCopyBeforeAnyWindowAndFillsTheFolderMapLast) {
    TempFolder cwd("tarvos-startup");
    Slot slot(TestPackage("[config]\ninstance=\n"));
    RecordingWindows windows;
    EXPECT_EQ(RunStartup({}, slot.resources, windows), 0);
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"check AutoUpdater", "create, lang folder \"\"", "run"}));
    EXPECT_EQ(windows.langFolderAtRun, "default;system");

    RecordingWindows second;
    second.other = true;
    EXPECT_EQ(RunStartup({}, slot.resources, second), 0);
    EXPECT_EQ(second.calls, std::vector<std::string>{"check AutoUpdater"});

    Slot mapped(TestPackage("[config]\nlanguage_folder=en;english\n"));
    RecordingWindows third;
    RunStartup({}, mapped.resources, third);
    EXPECT_EQ(third.langFolderAtRun, "en;english");
}

namespace {

// An 8-bit run-length picture of 4096 x 4096 pixels in 64 bytes: the colour table and an
// "end of bitmap" mark.
Bytes HugeRlePicture() {
    Bytes f(54 + 4, 0);
    f[0] = 'B', f[1] = 'M';
    Put(f, 10, 58, 4), Put(f, 14, 40, 4), Put(f, 18, 4096, 4), Put(f, 22, 4096, 4);
    Put(f, 26, 1, 2), Put(f, 28, 8, 2), Put(f, 30, 1, 4), Put(f, 46, 1, 4);
    f.insert(f.end(), {0, 1});
    f.resize(64, 0);
    return f;
}

}  // namespace

// A tiny package declaring gigabytes of pictures, and a log that cannot be written: neither
// may end start-up. The first gives "not found", the second a launcher without a log.
TEST(Startup, HostilePackageAndUnwritableLogNeverEndStartUp) {
    TempFolder cwd("tarvos-startup");
    Bytes button, blocks;
    PutSized(button, {});
    PutSized(button, {});
    for (int i = 0; i < 5; ++i) PutSized(button, HugeRlePicture());
    for (std::uint8_t id = 2; id <= 7; ++id) PutBlock(blocks, id, button);
    Bytes package = Section(12346, 6, blocks);
    Bytes settings = Section(23457, 0, {});
    package.insert(package.end(), settings.begin(), settings.end());
    Slot hostile(package);
    StartupState s = PrepareStartup({}, hostile.resources);
    EXPECT_TRUE(s.skin->MainWindow.Button_StartGame.common.Empty()) << "over the package's pixel budget";
    std::ostringstream out;
    ConsoleWindows console(out);
    console.CreateWindows(s);
    EXPECT_EQ(out.str(), "Sorry! Not found the config\n");

    std::filesystem::create_directory("log.err");
    Slot good(TestPackage("[config]\ninstance=My Game\n"));
    StartupState logged = PrepareStartup({"-debug"}, good.resources);
    EXPECT_EQ(logged.instanceName, "My Game");
    EXPECT_EQ(logged.skin->MainWindow.BackGroundImage.image.width, 4);
    EXPECT_EQ(logged.debugFile->ts.front(), "config created");
}
