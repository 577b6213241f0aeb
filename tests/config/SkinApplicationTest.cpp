#include <gtest/gtest.h>

#include "SkinWriter.hpp"
#include "config/BmpFixtures.hpp"
#include "config/SkinBlocks.hpp"
#include "config/SkinApplication.hpp"
#include "widgets/ButtonComps.hpp"
#include "widgets/XiGauge.hpp"
#include "widgets/XiProgressBar.hpp"

using namespace tarvos;
using namespace tarvos::pack;
using namespace tarvos::testing;

namespace {


Bytes Solid(int w, int h, std::uint32_t rgb) { return MakeBmp(Pattern(w, h, {rgb}), 24); }

template <class Window>
void Load(Window& w, std::int32_t count, const Bytes& blocks) {
    Bytes section = Section(Window::kVersion, count, blocks);
    SkinReader reader(section);
    w.LoadFromStream(reader);
}

}  // namespace

TEST(SkinApplication, MainWindowSkinSetsEveryWidgetByItsRule) {
    Bytes blocks;
    PutBlock(blocks, 1, Body({Solid(6, 4, 0x102030), WriteRegionData({{0, 0, 6, 3}, {1, 3, 5, 4}})}));
    // The pictures, not "Width" and "Height", size a button that has a normal picture.
    PutBlock(blocks, 2,
             Body({Sub("Left = 7\r\nTop=8\r\nWidth=99\r\nHeight=99\r\nVisible=true\r\nEnabled=true"),
                   {},
                   Solid(3, 2, 0xFF0000),
                   Solid(4, 2, 0x00FF00),
                   Solid(5, 2, 0x0000FF),
                   {},
                   {}}));
    blocks.push_back(5);  // Button_Close: a block without a body
    PutInt64(blocks, 0);
    PutBlock(blocks, 6, Body({Sub("Width=5\nHeight=6\nVisible=true")}));  // no pictures at all
    PutBlock(blocks, 8,
             Body({Sub("CForeFace=$FF\nCForeGrad=255\nCBackFace=0x00FF00\nCBackGrad=7\nOrientation=2")}));
    PutBlock(blocks, 10, Body({Sub("left = 9\nVisible=true")}));
    PutBlock(blocks, 11,
             Body({Sub("Left = 3\nSize=14\nColor=$0000FF\nBold=true\nItalic=True\nVisible=True")}));
    PutBlock(blocks, 12, Body({Sub("Left=1\nTop=2\nWidth=30\nHeight=20\nVisible=true\nEnabled=true")}));
    PutBlock(blocks, 14, Body({Sub("Width=40\nHeight=8"), Solid(2, 2, 0xAAAAAA), Solid(2, 2, 0x555555)}));
    PutBlock(blocks, 15, Body({Sub("Left=5\nVisible=true")}));
    TtucMainWindow skin;
    Load(skin, 10, blocks);

    TForm form;
    auto& close = form.Add<TImageButton>("Button_Close");
    close.SetBitmap(MakeBitmap(9, 9, 0));
    close.Left = 50;
    auto& status = form.Add<TLabel>("Text_Status");
    status.Font.Name = "Tahoma";
    status.Font.Underline = true;
    auto& oneFile = form.Add<TXiProgressBar>("ProgressBar_OneFile");
    oneFile.SetColor(TXiProgressBar::ciBorder, 0x123456);

    skin.SetDataToForm(form);
    SetMainWindowBackground(form, skin.BackGroundImage);

    auto* start = form.Find<TImageButton>("Button_StartGame");
    ASSERT_TRUE(start);
    EXPECT_EQ((std::array{start->Left, start->Top, start->Width, start->Height}), (std::array{7, 8, 3, 2}));
    EXPECT_TRUE(start->Visible && start->Enabled);
    EXPECT_EQ(start->Bmp.ColorAt(0, 0), RgbColor(0xFF, 0, 0));
    EXPECT_EQ(start->MOver.ColorAt(0, 0), RgbColor(0, 0xFF, 0));
    EXPECT_EQ(start->BmpDAble.ColorAt(0, 0), RgbColor(0, 0, 0xFF));
    EXPECT_TRUE(start->MDown.Empty() && start->MUp.Empty());

    // An element the skin left empty empties, hides and disables its widget.
    EXPECT_TRUE(close.Bmp.Empty());
    EXPECT_EQ((std::array{close.Left, close.Width, close.Height}), (std::array{0, 0, 0}));
    EXPECT_FALSE(close.Visible || close.Enabled);

    auto* minimize = form.Find<TImageButton>("Button_Minimize");
    EXPECT_EQ((std::array{minimize->Width, minimize->Height}), (std::array{5, 6}));

    EXPECT_EQ(oneFile.FForeColorFace, 0xFFu);
    EXPECT_EQ(oneFile.FForeColorGrad, 255u);
    EXPECT_EQ(oneFile.FBackColorFace, 0xFF00u);
    EXPECT_EQ(oneFile.FBackColorGrad, 7u);
    EXPECT_EQ(oneFile.FColorBorder, 0x123456u) << "the border colour is not skinned";
    EXPECT_EQ(oneFile.Orientation(), TOrientation::Vertical);
    EXPECT_EQ(form.Find<TXiProgressBar>("ProgressBar_Total")->Orientation(), TOrientation::Horizontal);

    EXPECT_EQ(form.Find<TLabel>("Text_Title")->Left, 0) << "a key in lower case is another key";
    EXPECT_EQ(status.Left, 3);
    EXPECT_EQ(status.Font.Size, 14);
    EXPECT_EQ(status.Font.Color, 0xFFu);
    EXPECT_TRUE(status.Font.Bold);
    EXPECT_FALSE(status.Font.Italic) << "\"True\" is not true";
    EXPECT_FALSE(status.Font.Underline) << "a style the skin does not switch on is switched off";
    EXPECT_EQ(status.Font.Name, "Tahoma");
    EXPECT_FALSE(status.Visible);

    auto* web = form.Find<TPanel>("WebPanel");
    EXPECT_EQ((std::array{web->Left, web->Top, web->Width, web->Height}), (std::array{1, 2, 30, 20}));
    auto* gauge = form.Find<TXiGauge>("Gauge_Total");
    EXPECT_EQ(gauge->Width, 40);
    EXPECT_EQ(gauge->FForeTexture.ColorAt(0, 0), RgbColor(0xAA, 0xAA, 0xAA));
    EXPECT_EQ(gauge->FBackTexture.ColorAt(0, 0), RgbColor(0x55, 0x55, 0x55));
    EXPECT_EQ(form.Find<TControl>("Box_LangFolder"), nullptr) << "the main window has no language folder box";

    // The window takes the background's size, picture and stored outline.
    EXPECT_EQ((std::array{form.Width, form.Height}), (std::array{6, 4}));
    EXPECT_EQ(form.BackgroundPattern.ColorAt(5, 3), RgbColor(0x10, 0x20, 0x30));
    EXPECT_EQ(form.Find<TImage>("BackGroundImage")->Picture.width, 6);
    EXPECT_EQ(form.Outline, (std::vector<RegionRect>{{0, 0, 6, 3}, {1, 3, 5, 4}}));

    // Without stored region data the main window stays rectangular.
    TtucBackGround noRegion;
    noRegion.image = form.BackgroundPattern;
    SetMainWindowBackground(form, noRegion);
    EXPECT_FALSE(form.Outline.has_value());
}

// Every element reaches the widget of its own name by the ids of the skin format, so that no
// two widgets of the same kind trade places.
TEST(SkinApplication, EachElementIdReachesTheWidgetOfItsName) {
    const std::pair<int, const char*> main[] = {{2, "Button_StartGame"}, {3, "Button_Cancel"},
                                                {4, "Button_CheckAllFiles"}, {5, "Button_Close"},
                                                {6, "Button_Minimize"},     {7, "Button_Config"}};
    const std::pair<int, const char*> settings[] = {
        {2, "Text_Title"},      {3, "Text_Language"},   {4, "Text_Autoclose"},  {5, "Text_Proxy"},
        {6, "Text_DriveType"},  {7, "Text_CheckType"},  {8, "Box_Language"},    {9, "Check_Autoclose"},
        {10, "Box_Proxy"},      {11, "Box_DriveType"},  {12, "Box_CheckType"},  {13, "Button_Ok"}};
    auto placed = [](const auto& table) {
        Bytes blocks;
        for (auto [id, name] : table) PutBlock(blocks, static_cast<std::uint8_t>(id), Body({Sub("Left=" + std::to_string(id * 10))}));
        return blocks;
    };
    TtucMainWindow mainSkin;
    Load(mainSkin, 6, placed(main));
    TForm mainForm;
    mainSkin.SetDataToForm(mainForm);
    for (auto [id, name] : main) EXPECT_EQ(mainForm.Find<TImageButton>(name)->Left, id * 10) << name;

    TtucConfigWindow settingsSkin;
    Load(settingsSkin, 12, placed(settings));
    TForm settingsForm;
    settingsSkin.SetDataToForm(settingsForm);
    for (auto [id, name] : settings) EXPECT_EQ(settingsForm.Find<TControl>(name)->Left, id * 10) << name;
}

TEST(SkinApplication, SettingsOutlineLeavesOutEveryPixelOfTheCornerColour) {
    constexpr std::uint32_t M = 0xFF00FF, W = 0xFFFFFF, G = 0x808080;
    TtucBackGround magenta;
    magenta.image = DecodeBmp(MakeBmp({4,
                                       3,
                                       {M, W, G, M,  //
                                        W, M, W, G,  //
                                        G, W, W, M}},
                                      24));
    magenta.region = WriteRegionData({{0, 0, 1, 1}});  // stored data is not used for this window
    TForm form;
    form.Width = 520, form.Height = 360;
    SetSettingsWindowBackground(form, magenta);
    EXPECT_EQ(form.Outline,
              (std::vector<RegionRect>{{1, 0, 3, 1}, {0, 1, 1, 2}, {2, 1, 4, 2}, {0, 2, 3, 3}}));
    EXPECT_EQ((std::array{form.Width, form.Height}), (std::array{520, 360})) << "the window keeps its size";
    EXPECT_EQ(form.Find<TImage>("BackgroundImage")->Picture.ColorAt(3, 1), RgbColor(0x80, 0x80, 0x80));

    TtucBackGround corner;
    corner.image = DecodeBmp(MakeBmp({3, 2, {G, W, W, W, W, W}}, 24));
    EXPECT_EQ(TransparentColorOutline(corner.image), (std::vector<RegionRect>{{1, 0, 3, 1}, {0, 1, 3, 2}}));

    SetSettingsWindowBackground(form, TtucBackGround{});
    ASSERT_TRUE(form.Outline.has_value());
    EXPECT_TRUE(form.Outline->empty()) << "no background: nothing of the window is visible";
}
