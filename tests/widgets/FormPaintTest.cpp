#include <gtest/gtest.h>

#include "widgets/ButtonComps.hpp"
#include "widgets/Form.hpp"
#include "widgets/PixelRows.hpp"
#include "widgets/XiGauge.hpp"

using namespace tarvos;
using namespace tarvos::testing;

TEST(FormPaint, TilesThePatternThenPaintsVisibleWidgetsClippedToThemselves) {
    constexpr TColor kA = RgbColor(1, 0, 0), kB = RgbColor(2, 0, 0), kButton = RgbColor(3, 0, 0),
                     kFore = RgbColor(4, 0, 0);
    TForm form;
    form.Width = 7, form.Height = 4;
    Bitmap pattern = MakeBitmap(2, 1, kA);
    FillArea(pattern, 1, 0, 2, 1, kB);
    form.BackgroundPattern = pattern;

    auto& button = form.Add<TImageButton>("Button_Close");
    button.SetBitmap(MakeBitmap(2, 2, kButton));
    button.Left = 6, button.Top = 0;  // half outside the window
    auto& gauge = form.Add<TXiGauge>("Gauge_Total");
    gauge.Left = 1, gauge.Top = 2, gauge.Width = 4, gauge.Height = 1;
    gauge.SetTextureFore(MakeBitmap(9, 9, kFore));  // larger than the gauge
    gauge.SetPosition(100);
    auto& hidden = form.Add<TImageButton>("Button_CheckAllFiles");
    hidden.SetBitmap(MakeBitmap(7, 4, kButton));
    hidden.Visible = false;

    auto rows = Rows(PaintForm(form), {{kA, 'a'}, {kB, 'b'}, {kButton, 'B'}, {kFore, 'f'}});
    EXPECT_EQ(rows, (std::vector<std::string>{"abababB", "abababB", "affffba", "abababa"}));
}

TEST(FormPaint, AWidgetSkinnedFarLargerThanAnyScreenPaintsNothing) {
    TForm form;
    form.Width = 2, form.Height = 1;
    auto& gauge = form.Add<TXiGauge>("Gauge_OneFile");
    gauge.Width = 1000000, gauge.Height = 1000000;
    gauge.SetTextureBack(MakeBitmap(2, 1, RgbColor(9, 9, 9)));
    auto rows = Rows(PaintForm(form), {{0, '.'}});
    EXPECT_EQ(rows, (std::vector<std::string>{".."}));
}
