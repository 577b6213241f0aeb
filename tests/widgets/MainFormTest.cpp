#include <gtest/gtest.h>

#include "launcher/MainForm.hpp"
#include "widgets/ButtonComps.hpp"

using namespace tarvos;

// The window forwards the mouse by this: buttons take it, the background drags, the open
// message panel covers what lies beneath it and slides from the web panel's corner.
TEST(MainForm, MouseTargetsAndTheMessagePanelPlace) {
    TForm form;
    DefineMainForm(form);
    auto& start = *form.Find<TImageButton>("Button_StartGame");
    start.SetBitmap(MakeBitmap(100, 40, 0));
    EXPECT_EQ(MouseTarget(form, start.Left + 5, start.Top + 5), &start);
    EXPECT_EQ(MouseTarget(form, 300, 300), nullptr);  // background
    start.Visible = false;
    EXPECT_EQ(MouseTarget(form, start.Left + 5, start.Top + 5), nullptr);

    auto& web = *form.Find<TPanel>("WebPanel");
    web.Left = 25, web.Top = 85, web.Width = 670, web.Height = 258;
    PlaceMessagePanel(form);
    auto& panel = *form.Find<TPanel>("MsgPanel");
    auto& close = *form.Find<TButton>("MsgCloseBtn");
    EXPECT_EQ(panel.Left + panel.Width, 695);
    EXPECT_EQ(panel.Top, 85);
    EXPECT_EQ(close.Left - panel.Left, 2);
    EXPECT_EQ(close.Top - panel.Top, 27);

    auto& under = form.Add<TImageButton>("Under");
    under.Left = panel.Left + 100, under.Top = panel.Top + 5;
    under.SetBitmap(MakeBitmap(10, 10, 0));
    EXPECT_EQ(MouseTarget(form, under.Left + 1, under.Top + 1), &under);  // panel closed
    panel.Visible = close.Visible = true;
    // "Under" was added after the panel, so it is above it; a widget below the panel is covered.
    auto& minimize = *form.Find<TImageButton>("Button_Minimize");
    minimize.Left = panel.Left + 150, minimize.Top = panel.Top + 5;
    minimize.SetBitmap(MakeBitmap(10, 10, 0));
    EXPECT_EQ(MouseTarget(form, minimize.Left + 1, minimize.Top + 1), nullptr);
    EXPECT_EQ(MouseTarget(form, close.Left + 1, close.Top + 1), &close);
    EXPECT_EQ(PaintForm(form).ColorAt(panel.Left + 60, panel.Top + 40), panel.Color);
}
