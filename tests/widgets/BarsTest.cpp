#include <gtest/gtest.h>

#include "widgets/PixelRows.hpp"
#include "widgets/XiGauge.hpp"
#include "widgets/XiProgressBar.hpp"

using namespace tarvos;
using namespace tarvos::testing;

using Picture = std::vector<std::string>;

namespace {

constexpr TColor kBack = RgbColor(0, 90, 0), kFore = RgbColor(0, 0, 90);

Picture GaugeAt(TXiGauge& g, std::int32_t position) {
    g.SetPosition(position);
    return Rows(g.Paint(), {{kBack, 'b'}, {kFore, 'f'}, {0, '.'}});
}

// Fore gradient: blue 0, 50, 100, 150, 200 over five rows or columns (letters a to e); back
// gradient: red 100, 150, 200 over the three inner rows or columns (x, y, z); border K.
const std::map<TColor, char> kBar{
    {RgbColor(0, 0, 0), 'a'},   {RgbColor(0, 0, 50), 'b'},  {RgbColor(0, 0, 100), 'c'},
    {RgbColor(0, 0, 150), 'd'}, {RgbColor(0, 0, 200), 'e'}, {RgbColor(100, 0, 0), 'x'},
    {RgbColor(150, 0, 0), 'y'}, {RgbColor(200, 0, 0), 'z'}, {RgbColor(255, 255, 0), 'K'}};

TXiProgressBar Bar(TOrientation orientation, int width, int height) {
    TXiProgressBar bar;
    bar.Width = width, bar.Height = height;
    bar.SetOrientation(orientation);
    bar.SetColor(TXiProgressBar::ciBorder, RgbColor(255, 255, 0));
    bar.SetColor(TXiProgressBar::ciForeFace, RgbColor(0, 0, 0));
    bar.SetColor(TXiProgressBar::ciForeGrad, RgbColor(0, 0, 200));
    bar.SetColor(TXiProgressBar::ciBackFace, RgbColor(100, 0, 0));
    bar.SetColor(TXiProgressBar::ciBackGrad, RgbColor(200, 0, 0));
    return bar;
}

Picture BarAt(TXiProgressBar& bar, std::int32_t position) {
    bar.SetPosition(position);
    return Rows(bar.Paint(), kBar);
}

}  // namespace

TEST(Gauge, FillsFromTheLeftByPositionOverMaxClippedAtItsEdge) {
    TXiGauge g;
    g.Width = 10, g.Height = 2;
    g.SetTextureBack(MakeBitmap(10, 2, kBack));
    g.SetTextureFore(MakeBitmap(10, 2, kFore));
    EXPECT_EQ(GaugeAt(g, 0), (Picture{"bbbbbbbbbb", "bbbbbbbbbb"}));
    EXPECT_EQ(GaugeAt(g, 50), (Picture{"fffffbbbbb", "fffffbbbbb"}));
    EXPECT_EQ(GaugeAt(g, 25), (Picture{"ffbbbbbbbb", "ffbbbbbbbb"})) << "2.5 rounds to the even 2";
    EXPECT_EQ(GaugeAt(g, 35), (Picture{"ffffbbbbbb", "ffffbbbbbb"})) << "3.5 rounds to the even 4";
    EXPECT_EQ(GaugeAt(g, 150), (Picture{"ffffffffff", "ffffffffff"}));
    EXPECT_EQ(GaugeAt(g, -1), (Picture{"ffffffffff", "ffffffffff"})) << "below Min is ignored";

    // The fill is measured from 0, not from Min, and grows from the left whatever the orientation.
    g.SetMin(40);
    g.SetOrientation(TOrientation::Vertical);
    EXPECT_EQ(GaugeAt(g, 50), (Picture{"fffffbbbbb", "fffffbbbbb"}));

    // A fore texture narrower than the fill covers only itself.
    g.SetTextureFore(MakeBitmap(3, 1, kFore));
    EXPECT_EQ(GaugeAt(g, 100), (Picture{"fffbbbbbbb", "bbbbbbbbbb"}));

    TXiGauge empty;
    empty.Width = 4, empty.Height = 1;
    empty.SetMax(0);
    EXPECT_EQ(empty.Max(), 0);
    EXPECT_EQ(GaugeAt(empty, 50), (Picture{"...."})) << "Max 0 fills nothing; no textures, nothing drawn";
}

TEST(ProgressBar, HorizontalFillsRowGradientsInsideTheBorder) {
    TXiProgressBar bar = Bar(TOrientation::Horizontal, 12, 5);
    EXPECT_EQ(BarAt(bar, 50),
              (Picture{"KKKKKKKKKKKK", "KbbbbxxxxxxK", "KccccyyyyyyK", "KddddzzzzzzK", "KKKKKKKKKKKK"}));
    EXPECT_EQ(BarAt(bar, 25),
              (Picture{"KKKKKKKKKKKK", "KbxxxxxxxxxK", "KcyyyyyyyyyK", "KdzzzzzzzzzK", "KKKKKKKKKKKK"}))
        << "2.5 rounds to the even 2";
    EXPECT_EQ(BarAt(bar, 200),
              (Picture{"KKKKKKKKKKKK", "KbbbbbbbbbbK", "KccccccccccK", "KddddddddddK", "KKKKKKKKKKKK"}));
    bar.SetMin(10);
    bar.SetPosition(5);
    EXPECT_EQ(bar.Position(), 200) << "below Min is ignored";
}

TEST(ProgressBar, VerticalFillsTheBottomRowsWithColumnGradients) {
    TXiProgressBar bar = Bar(TOrientation::Vertical, 5, 12);
    Picture half{"KKKKK", "KxyzK", "KxyzK", "KxyzK", "KxyzK", "KxyzK",
                 "KbcdK", "KbcdK", "KbcdK", "KbcdK", "KbcdK", "KKKKK"};
    EXPECT_EQ(BarAt(bar, 50), half);
    Picture empty{"KKKKK", "KxyzK", "KxyzK", "KxyzK", "KxyzK", "KxyzK",
                  "KxyzK", "KxyzK", "KxyzK", "KxyzK", "KxyzK", "KKKKK"};
    EXPECT_EQ(BarAt(bar, 0), empty) << "the one extra row lies under the border";
}

TEST(ProgressBar, MaxEqualToMinFillsNothing) {
    TXiProgressBar across = Bar(TOrientation::Horizontal, 5, 5);
    across.SetMin(100);
    EXPECT_EQ(BarAt(across, 100), (Picture{"KKKKK", "KxxxK", "KyyyK", "KzzzK", "KKKKK"}));
    TXiProgressBar upright = Bar(TOrientation::Vertical, 5, 5);
    upright.SetMin(100);
    EXPECT_EQ(BarAt(upright, 100), (Picture{"KKKKK", "KxyzK", "KxyzK", "KxyzK", "KKKKK"}));
}
