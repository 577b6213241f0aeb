#include "launcher/MainForm.hpp"

#include "widgets/ButtonComps.hpp"
#include "widgets/XiGauge.hpp"
#include "widgets/XiProgressBar.hpp"

namespace tarvos {

namespace {

constexpr TColor kMessageRed = RgbColor(255, 0, 0);
constexpr TColor kMessagePanel = RgbColor(18, 28, 56);

template <class T>
T& Place(TForm& form, const char* name, int left, int top, int width = 0, int height = 0) {
    T& c = form.Add<T>(name);
    c.Left = left, c.Top = top;
    if (width) c.Width = width;
    if (height) c.Height = height;
    return c;
}

TLabel& StatusLabel(TForm& form, const char* name, int left, int top) {
    auto& label = Place<TLabel>(form, name, left, top, 527, 16);
    label.Font.Bold = true;
    label.Shadowed = true;
    return label;
}

TImageButton& ImageButton(TForm& form, const char* name, int left, int top) {
    auto& button = Place<TImageButton>(form, name, left, top);
    button.Cursor = TCursor::HandPoint;
    return button;
}

}  // namespace

void DefineMainForm(TForm& form) {
    form.Width = 800, form.Height = 650;
    form.Font = {"Tahoma", 8, 0, 0, false, false, false};
    Place<TImage>(form, "BackGroundImage", 0, 0, form.Width, form.Height).Visible = false;
    Place<TLabel>(form, "Text_Title", 24, 13, 400, 16);
    Place<TPanel>(form, "WebPanel", 9, 35, 782, 424).Visible = false;
    StatusLabel(form, "Text_Status", 39, 505);
    Place<TXiProgressBar>(form, "ProgressBar_OneFile", 39, 522, 527, 8);
    StatusLabel(form, "Text_StatusTotal", 40, 542);
    Place<TXiProgressBar>(form, "ProgressBar_Total", 39, 559, 527, 10);
    Place<TXiGauge>(form, "Gauge_OneFile", 24, 626, 200, 16);
    Place<TXiGauge>(form, "Gauge_Total", 280, 626, 200, 16);
    Place<TLabel>(form, "Text_LangBoxDescription", 244, 627, 300, 16);
    auto& start = ImageButton(form, "Button_StartGame", 688, 483);
    start.Enabled = false;
    start.Cursor = TCursor::NoEntry;
    ImageButton(form, "Button_CheckAllFiles", 508, 465).Visible = false;
    ImageButton(form, "Button_Cancel", 612, 465);
    ImageButton(form, "Button_Close", 765, 9);
    ImageButton(form, "Button_Minimize", 722, 9);
    ImageButton(form, "Button_Config", 744, 10);
    // Holds the keyboard focus so that no image button shows a focus mark; takes no clicks.
    Place<TButton>(form, "HiddenButton", 656, 504);
    // The message panel slides open over everything else.
    auto& panel = Place<TPanel>(form, "MsgPanel", 552, 35, 239, 45);
    panel.Visible = false;
    panel.ParentBackground = false;
    panel.Color = kMessagePanel;
    auto& text = Place<TLabel>(form, "MsgLabel", 552 + 29, 35 + 9, 196, 29);
    text.WordWrap = true;
    text.AutoSize = false;
    text.Font.Color = kMessageRed;
    text.Visible = false;
    auto& close = Place<TButton>(form, "MsgCloseBtn", 552 + 2, 35 + 27, 18, 17);
    close.Caption.assign(1, 'X');  // assigning the literal makes GCC 12 warn falsely (-Wrestrict) in the i686 build
    close.Font.Bold = true;
    close.Font.Color = RgbColor(255, 255, 255);
    close.Cursor = TCursor::HandPoint;
    close.Visible = false;
}

void PlaceMessagePanel(TForm& form) {
    auto* web = form.Find<TPanel>("WebPanel");
    auto* panel = form.Find<TPanel>("MsgPanel");
    if (!web || !panel) return;
    const int left = web->Left + web->Width - panel->Width, top = web->Top;
    const int dx = left - panel->Left, dy = top - panel->Top;
    for (const char* name : {"MsgPanel", "MsgLabel", "MsgCloseBtn"})
        if (auto* c = form.Find<TControl>(name)) c->Left += dx, c->Top += dy;
}

TControl* MouseTarget(const TForm& form, int x, int y) {
    const auto& controls = form.Controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        TControl* c = it->get();
        if (!c->Visible || x < c->Left || y < c->Top || x >= c->Left + c->Width || y >= c->Top + c->Height) continue;
        if (dynamic_cast<TImageButton*>(c) || dynamic_cast<TButton*>(c)) return c;
        // A panel with its own background covers what lies beneath it.
        if (auto* panel = dynamic_cast<TPanel*>(c); panel && !panel->ParentBackground) return nullptr;
    }
    return nullptr;
}

}  // namespace tarvos
