#include <gtest/gtest.h>

#include "SkinWriter.hpp"
#include "config/BmpFixtures.hpp"
#include "config/SkinBlocks.hpp"
#include "config/TarvosUpdateConfig.hpp"
#include "platform/Error.hpp"

using namespace tarvos;
using namespace tarvos::pack;
using namespace tarvos::testing;

namespace {


Bytes MainSection(std::int32_t count, const Bytes& blocks, std::int32_t version = TtucMainWindow::kVersion) {
    return Section(version, count, blocks);
}

void Load(TtucWindow& w, const Bytes& section) {
    SkinReader reader(section);
    w.LoadFromStream(reader);
}

const Bytes kPicture = MakeBmp(Pattern(3, 2, {0xFF0000, 0x00FF00}), 24);

}  // namespace

TEST(SkinStream, ReadsEveryElementKindOfTheMainWindow) {
    Bytes blocks;
    Bytes region = WriteRegionData({{0, 0, 3, 1}, {1, 1, 2, 2}});
    PutBlock(blocks, 1, Body({kPicture, region}));
    PutBlock(blocks, 5, Body({Sub("Left=10\r\nVisible=true\r\nLeft=99"), Sub("script"), kPicture, {}, kPicture, {}, kPicture}));
    PutBlock(blocks, 13, Body({Sub("Width = 200"), kPicture, {}}));
    PutBlock(blocks, 8, Body({Sub("CForeFace=$FF00\nOrientation=1")}));
    PutBlock(blocks, 17, Body({Sub("Bold=true\nItalic=True\nleft=5")}));
    TtucMainWindow w;
    Load(w, MainSection(5, blocks));
    EXPECT_EQ(w.BackGroundImage.image.width, 3);
    ASSERT_TRUE(w.BackGroundImage.GetRegion());
    EXPECT_EQ(w.BackGroundImage.GetRegion()->size(), 2u);
    EXPECT_EQ(w.Button_Close.IntValue("Left"), 10) << "the first of repeated keys counts";
    EXPECT_TRUE(w.Button_Close.BoolValue("Visible"));
    EXPECT_EQ(w.Button_Close.btn_script, TStringList{"script"});
    EXPECT_FALSE(w.Button_Close.common.Empty());
    EXPECT_TRUE(w.Button_Close.over.Empty());
    EXPECT_FALSE(w.Button_Close.up.Empty());
    EXPECT_EQ(w.Gauge_OneFile.IntValue("Width"), 200);
    EXPECT_FALSE(w.Gauge_OneFile.FTex.Empty());
    EXPECT_TRUE(w.Gauge_OneFile.BTex.Empty());
    EXPECT_EQ(static_cast<std::uint32_t>(w.Progress_OneFile.IntValue("CForeFace")), 0xFF00u);
    EXPECT_EQ(w.Progress_OneFile.IntValue("Orientation"), 1);
    EXPECT_TRUE(w.Text_LangBoxDescription.BoolValue("Bold"));
    EXPECT_FALSE(w.Text_LangBoxDescription.BoolValue("Italic")) << "booleans are the word true exactly";
    EXPECT_EQ(w.Text_LangBoxDescription.IntValue("Left"), 0) << "keys are case-sensitive";
    EXPECT_TRUE(w.Button_StartGame.parameters.empty());
}

TEST(SkinStream, SkipsUnknownIdsAndEmptyBlocksByTheirSize) {
    Bytes blocks;
    PutBlock(blocks, 0, Sub("12345"));
    PutBlock(blocks, 200, Sub("abcde"));
    blocks.push_back(5);  // Button_Close with body size 0: nothing follows its size field
    PutInt64(blocks, 0);
    blocks.push_back(6);  // a negative size has no body either
    PutInt64(blocks, -7);
    PutBlock(blocks, 10, Body({Sub("Size=12")}));
    TtucMainWindow w;
    Load(w, MainSection(5, blocks));
    EXPECT_EQ(w.Text_Title.IntValue("Size"), 12);
    EXPECT_TRUE(w.Button_Close.parameters.empty());

    // The settings window skips unknown ids the same way.
    Bytes settings;
    PutBlock(settings, 99, Sub("xyz"));
    PutBlock(settings, 13, Body({Sub("Top=4")}));
    TtucConfigWindow cw;
    Load(cw, Section(TtucConfigWindow::kVersion, 2, settings));
    EXPECT_EQ(cw.Button_Ok.IntValue("Top"), 4);
}

TEST(SkinStream, BodyIsAUnitAndLaterBlocksReplace) {
    Bytes blocks;
    Bytes padded = Body({Sub("Left=1")});
    padded.insert(padded.end(), {1, 2, 3});  // bytes after the sub-blocks belong to the body
    PutBlock(blocks, 12, padded);
    PutBlock(blocks, 12, Body({Sub("Left=2\nTop=3")}));
    PutBlock(blocks, 1, Body({kPicture, WriteRegionData({{0, 0, 1, 1}})}));
    PutBlock(blocks, 1, Body({kPicture, {}}));  // a later background without region drops the old one
    TtucMainWindow w;
    Load(w, MainSection(4, blocks));
    EXPECT_EQ(w.WebPanel.parameters, (TStringList{"Left=2", "Top=3"}));
    EXPECT_FALSE(w.BackGroundImage.image.Empty());
    EXPECT_FALSE(w.BackGroundImage.GetRegion());
}

TEST(SkinStream, WrongVersionOrCountReadsNothingMore) {
    Bytes blocks;
    PutBlock(blocks, 10, Body({Sub("Size=9")}));
    for (std::int32_t version : {12345, 12347, TtucConfigWindow::kVersion}) {
        TtucMainWindow w;
        Bytes section = MainSection(1, blocks, version);
        SkinReader reader(section);
        w.LoadFromStream(reader);
        EXPECT_EQ(reader.Position(), 4u) << "only the version is read";
        EXPECT_TRUE(w.Text_Title.parameters.empty());
    }
    for (std::int32_t count : {0, -1}) {
        TtucMainWindow w;
        Bytes section = MainSection(count, blocks);
        SkinReader reader(section);
        w.LoadFromStream(reader);
        EXPECT_EQ(reader.Position(), 8u);
    }
}

TEST(SkinStream, DamagedSectionsAreRefusedNotFollowed) {
    auto damaged = [](const Bytes& section) {
        TtucMainWindow w;
        EXPECT_THROW(Load(w, section), TarvosError);
    };
    Bytes ok;
    PutBlock(ok, 10, Body({Sub("Size=9")}));
    damaged(MainSection(2, ok));  // count beyond the blocks present
    Bytes past = ok;
    past.pop_back();  // body size one past the end
    damaged(MainSection(1, past));
    Bytes subPast;
    Bytes body;
    PutInt64(body, 1000);  // sub-block size past the end of its body
    body.push_back('x');
    PutBlock(subPast, 10, body);
    damaged(MainSection(1, subPast));
    Bytes badPicture;
    PutBlock(badPicture, 2, Body({{}, {}, Sub("BM not a picture")}));
    damaged(MainSection(1, badPicture));
    Bytes unknownPast;
    unknownPast.push_back(99);
    PutInt64(unknownPast, INT64_MAX);
    damaged(MainSection(1, unknownPast));
    damaged(Bytes{0x3A, 0x30});  // not even a version
}

// Region bytes that are not region data cost the outline only: the skin loads and the main
// window stays rectangular; the settings window's region bytes are never looked at.
TEST(SkinStream, InvalidRegionDataGivesNoOutlineButKeepsTheSkin) {
    const Bytes junk = Sub("not region data, but long enough to hold a header");
    Bytes blocks;
    PutBlock(blocks, 1, Body({kPicture, junk}));
    PutBlock(blocks, 10, Body({Sub("Size=9")}));
    TtucMainWindow w;
    ASSERT_NO_THROW(Load(w, MainSection(2, blocks)));
    EXPECT_EQ(w.BackGroundImage.image.width, 3);
    EXPECT_FALSE(w.BackGroundImage.GetRegion());
    EXPECT_EQ(w.Text_Title.IntValue("Size"), 9) << "the blocks after it are read";

    Bytes settings;
    PutBlock(settings, 1, Body({kPicture, junk}));
    TtucConfigWindow cw;
    ASSERT_NO_THROW(Load(cw, Section(TtucConfigWindow::kVersion, 1, settings)));
    EXPECT_EQ(cw.BackGroundImage.image.width, 3);
}

TEST(SkinStream, MemoryStreamContinuesAfterEachSection) {
    Bytes package = MainSection(0, {});
    Bytes settings = Section(TtucConfigWindow::kVersion, 0, {});
    package.insert(package.end(), settings.begin(), settings.end());
    package.insert(package.end(), {'[', 'x', ']'});
    MemoryStream stream(package);
    TtucConfig skin;
    skin.MainWindow.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), 8);
    skin.ConfigWindow.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), 16);
}
