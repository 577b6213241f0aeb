// The operator's whole path through the real programs: a skin folder written by hand,
// tarvos-pack build, inject into a copy of the built tarvos-cli, the launcher's own start-up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "LauncherSlot.hpp"
#include "PackageBuilder.hpp"
#include "config/BmpFixtures.hpp"
#include "config/TempFolder.hpp"
#include "platform/Error.hpp"
#include "platform/RegionData.hpp"
#include "startup/Startup.hpp"

using namespace tarvos;
using namespace tarvos::pack;
using namespace tarvos::testing;
namespace fs = std::filesystem;

namespace {

fs::path Built(const char* relative) {
    const char* dir = std::getenv("TARVOS_BINARY_DIR");  // set by ctest
    return fs::path(dir ? dir : ".") / relative;
}
const fs::path kPack = Built("tools/tarvos-pack/tarvos-pack");
const fs::path kCli = Built("tools/tarvos-cli/tarvos-cli");

struct Result {
    int code;
    std::string out;
};

Result Shell(const std::string& command) {
    Result r{0, {}};
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

void Write(const fs::path& p, std::string_view text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}
void WriteBmp(const fs::path& p, const Picture& pic, int bits) {
    auto bytes = MakeBmp(pic, bits);
    Write(p, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// A background with a magenta corner cut out, so the outline is not a plain rectangle.
Picture Background() {
    Picture p = Pattern(40, 30, {0x203040, 0x304050, 0x405060});
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10 - y; ++x) p.rgb[y * 40 + x] = 0xFF00FF;
    return p;
}
const Picture kButton = Pattern(12, 7, {0x00AA00, 0x00FF00, 0xFFFFFF, 0x000000});
const Picture kOver = Pattern(12, 7, {0xAA0000, 0xFF0000});
const Picture kTexture = Pattern(20, 4, {0xFFD700, 0xB8860B});

const char* kManifest = R"(# written the way the README describes
config = texts/config.txt

[main BackGroundImage]
image = pics/bg.bmp
outline = color #FF00FF

[main Button_StartGame]
common = pics/button.bmp
over = pics/over.bmp
Left = 20
Top = 15
Visible = true
Enabled = true

[main Gauge_Total]
fore = pics/tex.bmp
back = pics/tex.bmp
Width = 20

[main Text_Status]
Left = 2
Color = $00FF00
Bold = true

[settings BackGroundImage]
image = pics/bg.bmp

[settings Button_Ok]
Left = 5
)";

const char* kConfig =
    "[config]\ninstance=Round Trip\nOwnedFiles=system\\*.ini|keys.cfg\n[updateservers]\nurl=http://127.0.0.1:1/a/\nurl=http://127.0.0.1:2/b/\n"
    "publickey=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\n"
    "[gameproxys]\nport=7777\nproxy=P|127.0.0.1|p.ini\n"
    "[lang=1033:English]\n0=http://127.0.0.1/news\n5=[Done! ]\n"
    "[lang=1049:\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9]\n5=\xD0\x93\xD0\xBE\xD1\x82\xD0\xBE\xD0\xB2\xD0\xBE\n";

void MakeSkin(const fs::path& dir) {
    Write(dir / "skin.ini", kManifest);
    Write(dir / "texts/config.txt", kConfig);
    WriteBmp(dir / "pics/bg.bmp", Background(), 24);
    WriteBmp(dir / "pics/button.bmp", kButton, 8);
    WriteBmp(dir / "pics/over.bmp", kOver, 1);
    WriteBmp(dir / "pics/tex.bmp", kTexture, 32);
}

void ExpectPicture(const Picture& want, const Bitmap& got) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const std::uint8_t* p = got.Row(y) + x * 4;
            ASSERT_EQ(static_cast<std::uint32_t>((p[2] << 16) | (p[1] << 8) | p[0]), want.rgb[y * want.width + x])
                << x << "," << y;
        }
}

class PackTool : public ::testing::Test {
protected:
    TempFolder dir{"tarvos-pack-e2e"};
    fs::path launcher = dir.Path() / "launcher";

    void SetUp() override {
        MakeSkin(dir.Path() / "skin");
        fs::copy_file(kCli, launcher);
    }
};

}  // namespace

TEST_F(PackTool, BuildInjectAndTheLauncherLoadsIt) {
    Result build = Shell(Q(kPack) + " build " + Q(dir.Path() / "skin") + " -o " + Q(dir.Path() / "package.bin"));
    ASSERT_EQ(build.code, 0) << build.out;
    Result inject = Shell(Q(kPack) + " inject " + Q(dir.Path() / "package.bin") + " " + Q(launcher));
    ASSERT_EQ(inject.code, 0) << inject.out;

    // The launcher itself, with the log on.
    // Its servers do not exist, so the run ends without a list; the news page it names
    // comes from the injected package.
    Result run = Shell(Q(launcher) + " -Debug");
    EXPECT_EQ(run.code, 4) << run.out;
    EXPECT_EQ(run.out.rfind("News: http://127.0.0.1/news\n", 0), 0u) << run.out;
    Bytes file = ReadWholeFile(launcher);
    size_t slot = FindSlot(file);
    std::int32_t n = file[slot] | (file[slot + 1] << 8) | (file[slot + 2] << 16) | (file[slot + 3] << 24);
    EXPECT_EQ(FileText("log.err"),
              "config created\r\n  try load config\r\n  read config from memory.. config size: " + std::to_string(n) +
                  "\r\nFile list refused: no list came from the server\r\n")
        << "the key in the package is the launcher's";
    EXPECT_EQ(FileText("config.pack"), std::string(file.begin() + slot + 4, file.begin() + slot + 4 + n));

    // The same start-up in process, over the injected slot: every field, text, pixel and rectangle.
    MemoryResources resources("blank", std::span(file).subspan(slot, kBlankSlotSize));
    StartupState s = PrepareStartup({}, resources);
    const TtucMainWindow& mw = s.skin->MainWindow;
    ExpectPicture(Background(), mw.BackGroundImage.image);
    Bitmap bg = mw.BackGroundImage.image;
    auto rects = mw.BackGroundImage.GetRegion();
    ASSERT_TRUE(rects);
    EXPECT_EQ(*rects, OutlineRects(bg, [&](int x, int y) { return bg.ColorAt(x, y) != 0xFF00FF; }));
    EXPECT_EQ(rects->front(), (RegionRect{10, 0, 40, 1}));
    EXPECT_EQ(rects->back(), (RegionRect{0, 10, 40, 30}));
    ExpectPicture(kButton, mw.Button_StartGame.common);
    ExpectPicture(kOver, mw.Button_StartGame.over);
    EXPECT_TRUE(mw.Button_StartGame.disabled.Empty());
    EXPECT_EQ(mw.Button_StartGame.IntValue("Left"), 20);
    ExpectPicture(kTexture, mw.Gauge_Total.FTex);
    ExpectPicture(kTexture, mw.Gauge_Total.BTex);
    EXPECT_EQ(mw.Text_Status.IntValue("Color"), 0xFF00);
    EXPECT_TRUE(mw.Text_Status.BoolValue("Bold"));
    EXPECT_TRUE(mw.Button_Close.common.Empty());
    ExpectPicture(Background(), s.skin->ConfigWindow.BackGroundImage.image);
    EXPECT_FALSE(s.skin->ConfigWindow.BackGroundImage.GetRegion()) << "no outline asked for";
    EXPECT_EQ(s.skin->ConfigWindow.Button_Ok.IntValue("Left"), 5);

    EXPECT_EQ(s.instanceName, "Round Trip");
    EXPECT_EQ(s.config->UpdateServers.Servers, (std::vector<std::string>{"http://127.0.0.1:1/a/", "http://127.0.0.1:2/b/"}));
    EXPECT_EQ(s.config->ProxyServers.Port, 7777);
    EXPECT_EQ(s.config->UpdateServers.PublicKey, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    TLanguageArray texts;
    s.config->Config.UserCan_ChangeLanguage = true;
    s.config->SetLanguageArray(1033, texts);
    EXPECT_EQ(texts[5], "Done! ");
    s.config->SetLanguageArray(1049, texts);
    EXPECT_EQ(texts[5], "\xD0\x93\xD0\xBE\xD1\x82\xD0\xBE\xD0\xB2\xD0\xBE") << "UTF-8 source text survives";
    EXPECT_EQ(texts[0], "http://127.0.0.1/news");

    Result dump = Shell(Q(kPack) + " dump " + Q(launcher));
    EXPECT_EQ(dump.code, 0);
    EXPECT_NE(dump.out.find("2 Button_StartGame: common 12x7, over 12x7, disabled -"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("1 BackGroundImage: image 40x30, outline 11 rectangles"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("    5 = Done! "), std::string::npos);
    EXPECT_NE(dump.out.find("player's files (installed once, never replaced): \"system\\*.ini|keys.cfg\""), std::string::npos)
        << dump.out;
    EXPECT_NE(dump.out.find("  file list: signed, public key 0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\n"), std::string::npos) << dump.out;
}

TEST_F(PackTool, RefusesWhatCannotBeALauncherPackage) {
    // A package that cannot pack small enough: random bytes do not compress.
    std::string noise;
    std::srand(7);
    for (int i = 0; i < 1700000; ++i) noise += static_cast<char>(std::rand());
    Write(dir.Path() / "big.bin", noise);
    Result big = Shell(Q(kPack) + " inject " + Q(dir.Path() / "big.bin") + " " + Q(launcher));
    EXPECT_NE(big.code, 0);
    EXPECT_NE(big.out.find("holds at most 1536000"), std::string::npos) << big.out;

    Write(dir.Path() / "small.bin", "x");
    Write(dir.Path() / "text.txt", "just text");
    Result text = Shell(Q(kPack) + " inject " + Q(dir.Path() / "small.bin") + " " + Q(dir.Path() / "text.txt"));
    EXPECT_NE(text.code, 0);
    EXPECT_NE(text.out.find("not a launcher"), std::string::npos) << text.out;

    Result noSlot = Shell(Q(kPack) + " inject " + Q(dir.Path() / "small.bin") + " " + Q(kPack));
    EXPECT_NE(noSlot.code, 0);
    EXPECT_NE(noSlot.out.find("no configuration slot"), std::string::npos) << noSlot.out;

    // A mistyped public key would lock every player out of every list.
    std::string config = kConfig;
    config.replace(config.find("publickey=") + 10, 1, "");
    Write(dir.Path() / "skin/texts/config.txt", config);
    Result badKey = Shell(Q(kPack) + " build " + Q(dir.Path() / "skin") + " -o " + Q(dir.Path() / "p.bin"));
    EXPECT_NE(badKey.code, 0);
    EXPECT_NE(badKey.out.find("publickey must be the 64 hexadecimal digits"), std::string::npos) << badKey.out;

    // A player's-files pattern broad enough to take in the launcher builds, with a warning.
    config = kConfig;
    config.replace(config.find("OwnedFiles=") + 11, 0, "*.EXE|");
    Write(dir.Path() / "skin/texts/config.txt", config);
    Result broad = Shell(Q(kPack) + " build " + Q(dir.Path() / "skin") + " -o " + Q(dir.Path() / "p.bin"));
    EXPECT_EQ(broad.code, 0) << broad.out;
    EXPECT_NE(broad.out.find("warning: " + (dir.Path() / "skin/texts/config.txt").string() +
                             ": ownedfiles \"*.EXE|system\\*.ini|keys.cfg\" matches the launcher's own file tarvos.exe"),
              std::string::npos)
        << broad.out;
    Write(dir.Path() / "skin/texts/config.txt", kConfig);

    // A mistake in the skin names its manifest line.
    Write(dir.Path() / "skin/skin.ini", std::string(kManifest) + "[main Button_Nope]\nLeft=1\n");
    Result bad = Shell(Q(kPack) + " build " + Q(dir.Path() / "skin") + " -o " + Q(dir.Path() / "p.bin"));
    EXPECT_NE(bad.code, 0);
    EXPECT_NE(bad.out.find("skin.ini:31: [main Button_Nope] no such element"), std::string::npos) << bad.out;
}

TEST_F(PackTool, EmptyOrDamagedSlotEndsWithTheMissingConfigurationMessage) {
    // A package whose main section is cut short, injected as it is.
    Write(dir.Path() / "cut.bin", std::string("\x3a\x30\x00\x00\x05\x00\x00\x00\x01", 9));
    ASSERT_EQ(Shell(Q(kPack) + " inject " + Q(dir.Path() / "cut.bin") + " " + Q(launcher)).code, 0);
    Result run = Shell(Q(launcher));
    EXPECT_EQ(run.code, 5) << "the console launcher's status for no configuration";
    EXPECT_EQ(run.out, "Sorry! Not found the config\n");
    Result dump = Shell(Q(kPack) + " dump " + Q(launcher));
    EXPECT_NE(dump.out.find("DAMAGED"), std::string::npos) << dump.out;
}

TEST(Manifest, OutlineRulesGiveTheStoredRegion) {
    TempFolder dir("tarvos-outline");
    Picture bg = Background();
    Picture mask = Pattern(40, 30, {0xFFFFFF});
    for (int x = 0; x < 40; ++x) mask.rgb[29 * 40 + x] = 0;  // the last row is outside
    WriteBmp(dir.Path() / "bg.bmp", bg, 24);
    WriteBmp(dir.Path() / "mask.bmp", mask, 1);
    Write(dir.Path() / "c.txt", "");
    auto regionOf = [&](const std::string& rule) {
        Write(dir.Path() / "skin.ini", "config = c.txt\n[main BackGroundImage]\nimage = bg.bmp\noutline = " + rule + "\n");
        Bytes package = BuildPackage(ReadManifest(dir.Path())).package;
        SkinReader reader(package);
        TtucMainWindow w;
        w.LoadFromStream(reader);
        return w.BackGroundImage.GetRegion();
    };
    auto corner = regionOf("corner");
    ASSERT_TRUE(corner);
    EXPECT_EQ(*corner, *regionOf("color #ff00ff")) << "the corner pixel is magenta";
    EXPECT_EQ(*regionOf("mask mask.bmp"), std::vector<RegionRect>{(RegionRect{0, 0, 40, 29})});
    EXPECT_FALSE(regionOf("none"));
    EXPECT_THROW(regionOf("color red"), TarvosError);
    EXPECT_THROW(regionOf("mask bg-missing.bmp"), TarvosError);
}

TEST(DefaultSkin, TheBuiltLauncherCarriesIt) {
    Result dump = Shell(Q(kPack) + " dump " + Q(kCli));
    ASSERT_EQ(dump.code, 0) << dump.out;
    for (const char* want : {"instance: \"Tarvos Demo Launcher\"", "update servers (ping yes, random no): 2",
                             "game proxies (use yes, port 7777): 2", "[1033] English", "[1049] ",
                             "5 Button_Close: common 22x22, over 22x22, disabled 22x22, down 22x22, up 22x22",
                             "13 Gauge_OneFile: fore texture 500x8, back texture 500x8"})
        EXPECT_NE(dump.out.find(want), std::string::npos) << want;
    TempFolder cwd("tarvos-default-skin");
    fs::copy_file(kCli, cwd.Path() / "tarvos-cli");  // it works in its own folder
    Result run = Shell(Q(cwd.Path() / "tarvos-cli") + " -debug");
    EXPECT_EQ(run.out.rfind("== Tarvos Demo ==\nNews: http://127.0.0.1:8781/news/en.html\n", 0), 0u) << run.out;
    EXPECT_EQ(FileText("log.err").substr(0, 16), "config created\r\n");
}
