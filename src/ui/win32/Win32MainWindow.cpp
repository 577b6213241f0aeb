#include "ui/win32/Win32MainWindow.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "launcher/MainForm.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Error.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/Terminate.hpp"
#include "ui/win32/GdiText.hpp"
#include "platform/win32/MessageWindow.hpp"
#include "ui/win32/Win32WebView.hpp"
#include "widgets/XiGauge.hpp"
#include "widgets/XiProgressBar.hpp"

namespace tarvos {

namespace {

constexpr wchar_t kClassName[] = L"TarvosMainWindow";
constexpr UINT kTrayMessage = WM_APP + 0x20;
constexpr UINT kTrayId = 1;

const char* Name(MainLabel label) {
    switch (label) {
        case MainLabel::Text_Status: return "Text_Status";
        case MainLabel::Text_StatusTotal: return "Text_StatusTotal";
        case MainLabel::Text_Title: return "Text_Title";
        case MainLabel::Text_LangBoxDescription: return "Text_LangBoxDescription";
        case MainLabel::MsgLabel: return "MsgLabel";
    }
    return "";
}

const char* Name(MainIndicator indicator) {
    switch (indicator) {
        case MainIndicator::ProgressBar_OneFile: return "ProgressBar_OneFile";
        case MainIndicator::Gauge_OneFile: return "Gauge_OneFile";
        case MainIndicator::ProgressBar_Total: return "ProgressBar_Total";
        case MainIndicator::Gauge_Total: return "Gauge_Total";
    }
    return "";
}

constexpr MainButton kButtons[] = {MainButton::Button_StartGame, MainButton::Button_CheckAllFiles,
                                   MainButton::Button_Cancel,    MainButton::Button_Close,
                                   MainButton::Button_Minimize,  MainButton::Button_Config};

const char* Name(MainButton button) {
    switch (button) {
        case MainButton::Button_StartGame: return "Button_StartGame";
        case MainButton::Button_CheckAllFiles: return "Button_CheckAllFiles";
        case MainButton::Button_Cancel: return "Button_Cancel";
        case MainButton::Button_Close: return "Button_Close";
        case MainButton::Button_Minimize: return "Button_Minimize";
        case MainButton::Button_Config: return "Button_Config";
    }
    return "";
}

std::int32_t Clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

HCURSOR SystemCursor(TCursor cursor) {
    switch (cursor) {
        case TCursor::HandPoint: return LoadCursorW(nullptr, IDC_HAND);
        case TCursor::NoEntry: return LoadCursorW(nullptr, IDC_NO);
        case TCursor::Default: break;
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

void RegisterWindowClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    registered = true;
}

}  // namespace

Win32MainWindow::Win32MainWindow(EventLoop& loop, const std::string& title) : loop_(loop), title_(title) {
    DefineMainForm(form_);
    TakeSystemColours();
    // A click shows the released picture before its handler runs.
    for (MainButton button : kButtons) {
        TImageButton& b = Widget(button);
        b.RepaintNow = [this, &b] {
            InvalidateBoth(repictured_, b);
            UpdateWindow(hwnd_);
        };
    }
    RegisterWindowClass();
    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, WideText(title).c_str(),
                            WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 0, 0, form_.Width, form_.Height,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) throw TarvosError("Cannot create the main window");
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ObjectWindowProc<Win32MainWindow>));

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                            GetModuleHandleW(nullptr), nullptr);

    if (auto* hidden = form_.Find<TButton>("HiddenButton"))
        focus_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, hidden->Left, hidden->Top,
                                 hidden->Width, hidden->Height, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);

    web_ = std::make_unique<Win32WebView>(hwnd_, loop_);
}

Win32MainWindow::~Win32MainWindow() {
    DestroyWindows();
    RemoveTrayIcon();
    SetProcessEndHook({});
}

void Win32MainWindow::DestroyWindows() {
    web_.reset();
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);  // with the windows it owns: the tooltips, the settings window
    hwnd_ = tips_ = focus_ = nullptr;
}

LRESULT Win32MainWindow::Proc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PaintScope paint(hwnd_);
            Paint(paint.Dc());
            return 0;
        }
        case WM_SYSCOLORCHANGE:
            TakeSystemColours();
            InvalidateRect(hwnd_, nullptr, FALSE);
            break;
        case WM_MOUSEMOVE:
            MouseMove(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            if (!captured_) Hover(nullptr);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            MouseDown(TMouseButton::Left, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_RBUTTONDOWN:
            MouseDown(TMouseButton::Right, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_LBUTTONUP:
            MouseUp(TMouseButton::Left, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_RBUTTONUP:
            MouseUp(TMouseButton::Right, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_CAPTURECHANGED:
            if (dragging_ && main_) main_->FormMouseUp();
            dragging_ = false;
            captured_ = nullptr;
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT && SetWindowCursor()) return TRUE;
            break;
        case kTrayMessage:
            if (lp == WM_LBUTTONUP || lp == WM_RBUTTONUP || lp == WM_MBUTTONUP) {
                if (main_) main_->RxTrayIcon1Click();
            }
            return 0;
        case WM_CLOSE:
            if (main_) main_->Button_CloseClick();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void Win32MainWindow::Connect(TFMain& main) {
    main_ = &main;
    auto wire = [&](MainButton button, std::function<void()> handler) { Widget(button).BtnClick = std::move(handler); };
    wire(MainButton::Button_StartGame, [this] { main_->Button_StartGameClick(); });
    wire(MainButton::Button_CheckAllFiles, [this] { main_->Button_CheckAllFilesClick(); });
    wire(MainButton::Button_Cancel, [this] { main_->Button_CloseClick(); });
    wire(MainButton::Button_Close, [this] { main_->Button_CloseClick(); });
    wire(MainButton::Button_Minimize, [this] { main_->MinimizeButtonClick(); });
    wire(MainButton::Button_Config, [this] { main_->Button_ConfigClick(); });
    if (auto* close = form_.Find<TButton>("MsgCloseBtn")) close->OnClick = [this] { main_->MsgCloseBtnClick(); };
    web_->OnBeforeNavigate = [this](const std::string& url, bool byPlayer) {
        return main_->WebBrowser1BeforeNavigate2(url, byPlayer);
    };
    web_->OnComplete = [this] { main_->WebBrowser1NavigateComplete2(); };
    web_->OnError = [this] { main_->WebBrowser1NavigateError(); };
}

void Win32MainWindow::SetTitle(const std::string& title) {
    title_ = title;
    SetWindowTextW(hwnd_, WideText(title).c_str());
}

void Win32MainWindow::SetTrayHint(const std::string& hint) {
    trayHint_ = WideText(hint);
    if (!trayAdded_) return;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd_;
    nid.uID = kTrayId;
    nid.uFlags = NIF_TIP;
    wcsncpy(nid.szTip, trayHint_.c_str(), std::size(nid.szTip) - 1);
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void Win32MainWindow::TakeSystemColours() {
    for (MainButton button : kButtons) Widget(button).Color = static_cast<TColor>(GetSysColor(COLOR_BTNFACE));
}

void Win32MainWindow::RemoveTrayIcon() {
    if (!trayAdded_) return;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = trayOwner_;  // the shell knows the icon by this value, also once the window is gone
    nid.uID = kTrayId;
    Shell_NotifyIconW(NIM_DELETE, &nid);
    trayAdded_ = false;
}

void Win32MainWindow::LeaveInstance() {
    // Destroyed, not merely hidden: a hidden window can still be found by its title, and
    // hiding can itself keep this thread waiting on the display. What follows may keep this
    // thread waiting for seconds: the shell removing the icon (a busy or restarting shell),
    // and starting the replacement, which waits until the new copy is ready for input or the
    // player has answered the elevation prompt. A window left behind meanwhile would not
    // answer anyone who broadcasts to the desktop.
    DestroyWindows();
    RemoveTrayIcon();
}

void Win32MainWindow::ShowFirst() {
    if (!trayAdded_) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = hwnd_;
        nid.uID = kTrayId;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = kTrayMessage;
        nid.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICON));
        wcsncpy(nid.szTip, trayHint_.c_str(), std::size(nid.szTip) - 1);
        trayAdded_ = Shell_NotifyIconW(NIM_ADD, &nid) != FALSE;
        trayOwner_ = hwnd_;
        // Closing during a download or a check ends the process from inside that wait,
        // where this window's destructor never runs: the icon goes all the same.
        if (trayAdded_) SetProcessEndHook([this] { RemoveTrayIcon(); });
    }
    // The controller places the window first; it appears at its place (SetPosition).
    showPending_ = true;
}

void Win32MainWindow::FormChanged() {
    PlaceMessagePanel(form_);
    SyncTools();
    if (web_) {
        if (auto* panel = form_.Find<TPanel>("WebPanel")) {
            web_->SetBounds(panel->Left, panel->Top, panel->Width, panel->Height);
        }
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
}

// ---- painting ----

void Win32MainWindow::Paint(HDC dc) {
    PaintComposed(dc, form_, [this](HDC mem) { DrawTexts(mem); });
}

void Win32MainWindow::DrawTexts(HDC dc) {
    // Texts go over the pictures in the widgets' order; a panel with its own background
    // covers the texts before it, and the widgets inside it are cut to its current height.
    const TControl* panel = nullptr;
    for (const auto& c : form_.Controls()) {
        if (!c->Visible) continue;
        auto* p = dynamic_cast<TPanel*>(c.get());
        if (p && !p->ParentBackground) {
            HBRUSH brush = CreateSolidBrush(p->Color & 0xFFFFFF);
            RECT r{p->Left, p->Top, p->Left + p->Width, p->Top + p->Height};
            FillRect(dc, &r, brush);
            DeleteObject(brush);
            panel = p;
            continue;
        }
        const bool inside = panel && c->Left >= panel->Left && c->Left < panel->Left + panel->Width &&
                            c->Top >= panel->Top;
        SaveDC(dc);
        if (inside) IntersectClipRect(dc, panel->Left, panel->Top, panel->Left + panel->Width, panel->Top + panel->Height);
        if (auto* label = dynamic_cast<TLabel*>(c.get())) DrawLabel(dc, *label);
        if (auto* button = dynamic_cast<TButton*>(c.get())) DrawCentred(dc, *button, button->Caption);
        RestoreDC(dc, -1);
    }
}

void Win32MainWindow::Invalidate(const TControl* control) {
    if (!control) {
        InvalidateRect(hwnd_, nullptr, FALSE);
        return;
    }
    // Labels may draw past their box (automatic size, shadow): their whole row is redrawn.
    RECT r{control->Left, control->Top, control->Left + control->Width, control->Top + control->Height};
    if (dynamic_cast<const TLabel*>(control)) {
        r.left = 0;
        r.right = form_.Width;
        r.bottom = std::max<LONG>(r.bottom, control->Top + 2 * std::max(control->Font.Size, control->Font.PixelHeight) + 4);
    }
    InvalidateRect(hwnd_, &r, FALSE);
}

void Win32MainWindow::UpdateNow(const TControl* control) {
    Invalidate(control);
    UpdateWindow(hwnd_);
}

void Win32MainWindow::Repicture(TImageButton& b, const std::function<void()>& change, bool now) {
    repictured_ = RECT{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height};
    change();
    InvalidateBoth(repictured_, b);
    if (now) UpdateWindow(hwnd_);
}

void Win32MainWindow::InvalidateBoth(const RECT& before, const TControl& b) {
    const RECT after{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height};
    RECT both;
    UnionRect(&both, &before, &after);
    InvalidateRect(hwnd_, &both, FALSE);
}

// ---- the mouse ----

void Win32MainWindow::Hover(TControl* target) {
    if (target == hovered_) return;
    if (auto* old = dynamic_cast<TImageButton*>(hovered_)) Repicture(*old, [old] { old->MouseLeave(); });
    hovered_ = target;
    if (auto* now = dynamic_cast<TImageButton*>(hovered_)) Repicture(*now, [now] { now->MouseEnter(); });
}

void Win32MainWindow::MouseMove(int x, int y) {
    if (!tracking_) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd_, 0};
        tracking_ = TrackMouseEvent(&t) != FALSE;
    }
    if (dragging_) {
        if (main_) main_->FormMouseMove(x, y);
        return;
    }
    if (!captured_) Hover(MouseTarget(form_, x, y));
}

void Win32MainWindow::MouseDown(TMouseButton button, int x, int y) {
    TControl* target = MouseTarget(form_, x, y);
    if (!target) {
        dragging_ = true;
        SetCapture(hwnd_);
        if (main_) main_->FormMouseDown(x, y);
        return;
    }
    SetCapture(hwnd_);
    captured_ = target;
    if (auto* b = dynamic_cast<TImageButton*>(target))
        Repicture(*b, [&] { b->MouseDown(button, x - b->Left, y - b->Top); }, true);
}

void Win32MainWindow::MouseUp(TMouseButton button, int x, int y) {
    TControl* target = captured_;
    const bool dragged = dragging_;
    captured_ = nullptr;
    dragging_ = false;
    if (GetCapture() == hwnd_) ReleaseCapture();
    if (dragged) {
        if (main_) main_->FormMouseUp();
        return;
    }
    if (!target) return;
    // The click may open the settings window or end the run: the button's look is updated
    // before its handler runs.
    if (auto* b = dynamic_cast<TImageButton*>(target)) {
        Repicture(*b, [&] { b->MouseUp(button, x - b->Left, y - b->Top); });
    } else if (auto* plain = dynamic_cast<TButton*>(target)) {
        const bool over = x >= plain->Left && y >= plain->Top && x < plain->Left + plain->Width &&
                          y < plain->Top + plain->Height;
        if (button == TMouseButton::Left && over && plain->Enabled && plain->OnClick) plain->OnClick();
    }
    Hover(MouseTarget(form_, x, y));
}

bool Win32MainWindow::SetWindowCursor() {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    TControl* target = MouseTarget(form_, p.x, p.y);
    ::SetCursor(SystemCursor(target ? target->Cursor : TCursor::Default));
    return true;
}

void Win32MainWindow::SyncTools() {
    if (!tips_) return;
    for (size_t i = 0; i < std::size(kButtons); ++i) {
        TImageButton& b = Widget(kButtons[i]);
        std::wstring text = WideText(b.Hint);
        TOOLINFOW ti{};
        ti.cbSize = TTTOOLINFOW_V1_SIZE;
        ti.uFlags = TTF_SUBCLASS;
        ti.hwnd = hwnd_;
        ti.uId = i + 1;
        const bool active = b.Visible && b.ShowHint && !b.Hint.empty();
        ti.rect = active ? RECT{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height} : RECT{0, 0, 0, 0};
        ti.lpszText = text.data();
        SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
        if (active) SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

// ---- the widgets ----

TControl& Win32MainWindow::Widget(MainLabel label) const { return *form_.Find<TLabel>(Name(label)); }

TControl& Win32MainWindow::Widget(MainIndicator indicator) const {
    return *form_.Find<TRangeControl>(Name(indicator));
}

TImageButton& Win32MainWindow::Widget(MainButton button) const { return *form_.Find<TImageButton>(Name(button)); }

TControl& Win32MainWindow::Widget(MainPanel panel) const {
    return *form_.Find<TPanel>(panel == MainPanel::WebPanel ? "WebPanel" : "MsgPanel");
}

void Win32MainWindow::SetText(MainLabel label, const std::string& text) {
    auto& l = static_cast<TLabel&>(Widget(label));
    l.Caption = text;
    Invalidate(&l);
}

std::string Win32MainWindow::Text(MainLabel label) const { return static_cast<TLabel&>(Widget(label)).Caption; }

void Win32MainWindow::SetIndicator(MainIndicator indicator, const IndicatorState& state) {
    indicators_[indicator] = state;
    auto& r = static_cast<TRangeControl&>(Widget(indicator));
    r.SetMin(INT32_MIN);
    r.SetMax(Clamp32(state.Max));
    r.SetMin(Clamp32(state.Min));
    r.SetPosition(Clamp32(state.Position));
    r.SetStep(Clamp32(state.Step));
    Invalidate(&r);
}

IndicatorState Win32MainWindow::Indicator(MainIndicator indicator) const {
    auto it = indicators_.find(indicator);
    return it == indicators_.end() ? IndicatorState{} : it->second;
}

int Win32MainWindow::Width(MainIndicator indicator) const { return Widget(indicator).Width; }

void Win32MainWindow::SetEnabled(MainButton button, bool enabled) {
    TImageButton& b = Widget(button);
    Repicture(b, [&] {
        b.SetEnabled(enabled);
        if (enabled) b.RePaint();
    });
}

bool Win32MainWindow::Enabled(MainButton button) const { return Widget(button).Enabled; }

void Win32MainWindow::SetVisible(MainButton button, bool visible) {
    TImageButton& b = Widget(button);
    b.Visible = visible;
    if (!visible && hovered_ == &b) hovered_ = nullptr;
    SyncTools();
    Invalidate(&b);
}

void Win32MainWindow::SetCursor(MainButton button, MainCursor cursor) {
    Widget(button).Cursor = cursor == MainCursor::Hand      ? TCursor::HandPoint
                            : cursor == MainCursor::NoEntry ? TCursor::NoEntry
                                                            : TCursor::Default;
}

void Win32MainWindow::SetHint(MainButton button, const std::string& hint) {
    TImageButton& b = Widget(button);
    b.Hint = hint;
    b.ShowHint = true;
    SyncTools();
}

void Win32MainWindow::Repaint(MainLabel label) { UpdateNow(&Widget(label)); }

void Win32MainWindow::Repaint(MainIndicator indicator) { UpdateNow(&Widget(indicator)); }

void Win32MainWindow::SetPanelVisible(MainPanel panel, bool visible) {
    Widget(panel).Visible = visible;
    if (panel == MainPanel::MsgPanel) {
        for (const char* name : {"MsgLabel", "MsgCloseBtn"})
            for (const auto& c : form_.Controls())
                if (c->Name == name) c->Visible = visible;
    } else if (web_) {
        web_->Show(visible);
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
}

bool Win32MainWindow::PanelVisible(MainPanel panel) const { return Widget(panel).Visible; }

void Win32MainWindow::SetPanelHeight(MainPanel panel, int pixels) {
    Widget(panel).Height = pixels;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32MainWindow::RepaintPanel(MainPanel) {
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

// ---- the window ----

void Win32MainWindow::SetClientSize(int width, int height) {
    form_.Width = width;
    form_.Height = height;
    if (auto* image = form_.Find<TImage>("BackGroundImage")) image->Width = width, image->Height = height;
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::SetBackground(const Bitmap& picture, const std::optional<std::vector<RegionRect>>& outline) {
    if (auto* image = form_.Find<TImage>("BackGroundImage")) image->Picture = picture;
    form_.BackgroundPattern = picture;
    form_.Outline = outline;
    // The window owns the region once it is set.
    SetWindowRgn(hwnd_, outline ? MakeRegion(*outline) : nullptr, TRUE);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32MainWindow::SetPosition(int left, int top) {
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    form_.Left = left, form_.Top = top;
    if (showPending_) {
        showPending_ = false;
        shown_ = true;
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        if (focus_) SetFocus(focus_);
        UpdateWindow(hwnd_);
    }
}

int Win32MainWindow::Left() const {
    RECT r;
    return GetWindowRect(hwnd_, &r) ? r.left : 0;
}

int Win32MainWindow::Top() const {
    RECT r;
    return GetWindowRect(hwnd_, &r) ? r.top : 0;
}

int Win32MainWindow::WindowWidth() const {
    RECT r;
    return GetWindowRect(hwnd_, &r) ? r.right - r.left : 0;
}

int Win32MainWindow::WindowHeight() const {
    RECT r;
    return GetWindowRect(hwnd_, &r) ? r.bottom - r.top : 0;
}

int Win32MainWindow::ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }

int Win32MainWindow::ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

void Win32MainWindow::SetTransparency(bool on, int opacity) {
    const LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
    if (on) {
        opacity_ = std::clamp(opacity, 0, 255);
        if (!(ex & WS_EX_LAYERED)) SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        SetLayeredWindowAttributes(hwnd_, 0, static_cast<BYTE>(opacity_), LWA_ALPHA);
    } else {
        opacity_ = 255;
        if (ex & WS_EX_LAYERED) SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void Win32MainWindow::Navigate(const std::string& url) {
    if (web_) web_->Navigate(url);
}

void Win32MainWindow::HideToTray() { ShowWindow(hwnd_, SW_HIDE); }

void Win32MainWindow::ShowFromTray() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Win32MainWindow::ShowMessage(const std::string& text) {
    MessageBoxW(nullptr, WideText(text).c_str(), WideText(title_).c_str(), MB_OK | MB_SETFOREGROUND);
}

}  // namespace tarvos
