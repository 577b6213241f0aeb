// The skinned windows as the system sees them: what is on the screen when a click's handler
// runs, what a change of the enabled state repaints, the system's colours, the keyboard of
// the settings window, and a region the system cannot make.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "config/uSettings.hpp"
#include "launcher/uMainForm.hpp"
#include "platform/Shell.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/Terminate.hpp"
#include "ui/win32/GdiText.hpp"
#include "ui/win32/Win32MainWindow.hpp"
#include "ui/win32/Win32SettingsWindow.hpp"
#include "ui/win32/Win32WebView.hpp"
#include "ui/win32/Win32Windows.hpp"
#include "widgets/ButtonComps.hpp"

using namespace tarvos;

// While set, every allocation of 32 KiB or more fails, as it would in a process out of memory.
static std::atomic<bool> g_starved{false};

void* operator new(std::size_t size) {
    if (g_starved && size >= (32u << 10)) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The compiler takes the replaced pair for a mismatched one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// A top-level window of this process with the given class. The other Wine processes of the
// test run share the desktop, so a search over every window could find theirs.
struct WindowSearch {
    const wchar_t* kind;
    HWND found = nullptr;
};

BOOL CALLBACK MatchOwnWindow(HWND window, LPARAM param) noexcept {
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (process != GetCurrentProcessId() || lstrcmpiW(name, search.kind) != 0) return TRUE;
    search.found = window;
    return FALSE;
}

HWND OwnWindow(const wchar_t* kind) {
    WindowSearch search{kind};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

constexpr TColor kNormal = RgbColor(200, 0, 0), kDown = RgbColor(0, 200, 0), kUp = RgbColor(0, 0, 200),
                 kOff = RgbColor(90, 90, 90);

// The main window with one skinned button at 10,10, shown.
struct MainWindow {
    MainWindow() {
        window.SetClientSize(200, 100);
        button.SetBitmap(MakeBitmap(4, 3, kNormal));
        button.MDown = MakeBitmap(4, 3, kDown);
        button.MUp = MakeBitmap(4, 3, kUp);
        button.BmpDAble = MakeBitmap(12, 8, kOff);
        button.Left = 10, button.Top = 10;
        button.Visible = button.Enabled = true;
        window.FormChanged();
        ShowWindow(window.Handle(), SW_SHOWNA);
        UpdateWindow(window.Handle());
    }
    COLORREF OnScreen(int x, int y) const {
        HDC dc = GetDC(window.Handle());
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(window.Handle(), dc);
        return c;
    }
    bool ToRepaint(int x, int y) const {
        HRGN update = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(window.Handle(), update, FALSE);
        const bool inside = PtInRegion(update, x, y);
        DeleteObject(update);
        return inside;
    }
    Win32MainWindow window{MainLoop(), "Tarvos window test"};
    TImageButton& button = *window.Form().Find<TImageButton>("Button_Close");
};

}  // namespace

TEST(Win32MainWindow, AClickIsSeenReleasedWhileItsHandlerRuns) {
    MainWindow w;
    COLORREF seen = CLR_INVALID;
    w.button.BtnClick = [&] { seen = w.OnScreen(11, 11); };
    SendMessageW(w.window.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(11, 11));
    ASSERT_EQ(w.OnScreen(11, 11), kDown);
    SendMessageW(w.window.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(11, 11));
    EXPECT_EQ(seen, kUp);
}

// A disabled picture of another size than the normal one: what either covers is repainted,
// when the button is disabled and when it is enabled again.
TEST(Win32MainWindow, TheEnabledStateRepaintsBothPicturesAreas) {
    MainWindow w;
    ValidateRect(w.window.Handle(), nullptr);
    w.window.SetEnabled(MainButton::Button_Close, false);
    EXPECT_TRUE(w.ToRepaint(10 + 11, 10 + 7));
    UpdateWindow(w.window.Handle());
    w.window.SetEnabled(MainButton::Button_Close, true);
    EXPECT_TRUE(w.ToRepaint(10 + 11, 10 + 7)) << "the larger disabled picture must not stay behind";
}

// Pictures larger than the normal one, shown while the mouse is over the button and while it
// is pressed: when the normal one comes back, nothing of them stays on the screen.
TEST(Win32MainWindow, ALargerHoverOrPressedPictureLeavesNothingBehind) {
    MainWindow w;
    w.button.MOver = MakeBitmap(12, 8, kOff);
    w.button.MDown = MakeBitmap(12, 8, kDown);
    w.button.MUp = {};
    const COLORREF background = w.OnScreen(10 + 11, 10 + 7);
    SendMessageW(w.window.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(11, 11));
    UpdateWindow(w.window.Handle());
    ASSERT_EQ(w.OnScreen(10 + 11, 10 + 7), kOff);
    SendMessageW(w.window.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(150, 80));
    UpdateWindow(w.window.Handle());
    EXPECT_EQ(w.OnScreen(10 + 11, 10 + 7), background) << "the hover picture stayed behind";

    SendMessageW(w.window.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(11, 11));
    ASSERT_EQ(w.OnScreen(10 + 11, 10 + 7), kDown);
    SendMessageW(w.window.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(150, 80));
    UpdateWindow(w.window.Handle());
    EXPECT_EQ(w.OnScreen(10 + 11, 10 + 7), background) << "the pressed picture stayed behind";
}

TEST(Win32MainWindow, ButtonsTakeTheSystemsButtonFace) {
    const int index = COLOR_BTNFACE;
    const COLORREF saved = GetSysColor(COLOR_BTNFACE);
    const COLORREF odd = RGB(12, 34, 56);
    ASSERT_TRUE(SetSysColors(1, &index, &odd));
    const TColor taken = MainWindow().button.Color;
    SetSysColors(1, &index, &saved);
    EXPECT_EQ(taken, odd);
}

// Out of memory for the composed picture, many times over: the window shows its plain face
// and reports nothing (a message box for every painting would bring the next), and every
// painting gives its device contexts back, so the first one with memory again is whole.
TEST(Win32MainWindow, PaintingsWithoutMemoryShowThePlainFaceAndGiveEverythingBack) {
    MainWindow w;
    int reported = 0;
    const HandlerErrorSink previous = SetHandlerErrorSink([&](const std::string&) { ++reported; });
    COLORREF starved = CLR_INVALID;
    g_starved = true;
    for (int i = 0; i < 40000; ++i) {  // more than the system has handles for
        InvalidateRect(w.window.Handle(), nullptr, FALSE);
        UpdateWindow(w.window.Handle());
    }
    starved = w.OnScreen(11, 11);
    g_starved = false;
    InvalidateRect(w.window.Handle(), nullptr, FALSE);
    UpdateWindow(w.window.Handle());
    SetHandlerErrorSink(previous);
    EXPECT_EQ(reported, 0);
    EXPECT_EQ(starved, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(w.OnScreen(11, 11), kNormal) << "the painting after the failed ones is whole";
}

// Each of the window's buttons reaches its own handler (the first showing, the settings, the
// start and the close button are also clicked end to end under Wine).
TEST(Win32MainWindow, EachButtonReachesItsOwnHandler) {
    Win32MainWindow window(MainLoop(), "Tarvos wiring test");
    TLanguageArray texts{};
    texts[6] = "every file checked";
    tConfigData config;
    TtucConfig skin;
    TFMain main(window, MainLoop(), texts, SystemShell(), nullptr);
    main.Attach(config, skin);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarvos-wiring-test";
    std::filesystem::create_directories(folder);
    main.TmpPath = folder.string();
    window.Connect(main);
    auto click = [&](const char* name) { window.Form().Find<TImageButton>(name)->BtnClick(); };
    ShowWindow(window.Handle(), SW_SHOWNA);

    click("Button_CheckAllFiles");
    EXPECT_EQ(window.Text(MainLabel::Text_Status), "every file checked");
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    EXPECT_FALSE(MainLoop().Terminated());
    click("Button_Minimize");
    EXPECT_FALSE(IsWindowVisible(window.Handle())) << "minimising sends the window to the tray";
    EXPECT_FALSE(MainLoop().Terminated());
    click("Button_Cancel");
    EXPECT_TRUE(MainLoop().Terminated()) << "cancel closes the launcher";
    SetApplicationTerminated(false);
    std::filesystem::remove_all(folder);
}

// Closing during a download ends the process from inside the download's wait, where no
// destructor runs: the notification-area icon goes on that way out too.
TEST(Win32MainWindow, TheTrayIconGoesWhenTheProcessEndsFromAWait) {
    Win32MainWindow window(MainLoop(), "Tarvos tray test");
    window.ShowFirst();
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window.Handle();
    icon.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon)) << "the icon was never added";
    RunProcessEndHook();  // what EndProcessNow does before it ends the process
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &icon)) << "the icon would stay behind the ended process";
}

namespace {
class RecordingShell : public Shell {
public:
    bool OpenUrl(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    bool StartElevated(const std::string& file, const std::string&, const std::string&) override {
        opened.push_back(file);
        return true;
    }
    std::vector<std::string> opened;
};
}  // namespace

// After the settings window has been used the news panel keeps its filter: the real control
// sent to a file: target, and a page's request for a window of its own (window.open, a link
// with a target), are cancelled and start nothing.
TEST(Win32WebView, TheFilterOutlivesTheSettingsWindowAndNoWindowOpens) {
    Win32MainWindow window(MainLoop(), "Tarvos web view test");
    TLanguageArray texts{};
    tConfigData config;
    TtucConfig skin;
    RecordingShell shell;
    TFMain main(window, MainLoop(), texts, shell, nullptr);
    main.Attach(config, skin);
    main.NewsURL = "http://news.example/";
    main.WebHandlersAttached = false;  // as after the settings window
    Win32WebView view(window.Handle(), MainLoop());
    if (!view.Available() || !view.EventSink()) GTEST_SKIP() << "no browser control here";
    std::vector<std::string> asked;
    view.OnBeforeNavigate = [&](const std::string& url, bool byPlayer) {
        const bool cancel = main.WebBrowser1BeforeNavigate2(url, byPlayer);
        asked.push_back(url + (byPlayer ? " clicked" : "") + (cancel ? " cancelled" : " taken"));
        return cancel;
    };
    view.Navigate("file:///C:/windows/system32/notepad.exe");
    MainLoop().ProcessMessages();
    // The control names the target as it sees it (a file: URL becomes a path).
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].ends_with("notepad.exe cancelled")) << asked[0];

    // The control's new-window request, as it raises it for window.open.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* opened = nullptr;
    VARIANT args[5];
    for (auto& a : args) VariantInit(&a);
    args[0].vt = VT_BSTR, args[0].bstrVal = SysAllocString(L"http://popup.example/");
    args[1].vt = VT_BSTR, args[1].bstrVal = SysAllocString(L"http://news.example/");
    args[2].vt = VT_I4, args[2].lVal = 0;
    args[3].vt = VT_BYREF | VT_BOOL, args[3].pboolVal = &cancel;
    args[4].vt = VT_BYREF | VT_DISPATCH, args[4].ppdispVal = &opened;
    DISPPARAMS params{args, nullptr, 5, 0};
    view.EventSink()->Invoke(273, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    SysFreeString(args[0].bstrVal);
    SysFreeString(args[1].bstrVal);
    EXPECT_EQ(cancel, VARIANT_TRUE) << "no window of its own, where no filter runs";
    EXPECT_EQ(opened, nullptr);
    EXPECT_TRUE(shell.opened.empty()) << "not the player's click";
}

namespace {
HRGN WINAPI RefuseRegion(const XFORM*, DWORD, const RGNDATA*) {
    return CallbackBoundary<HRGN>(nullptr, [] { return HRGN{}; });
}
}  // namespace

// A region the system cannot make leaves the window rectangular (no region), never empty.
TEST(Win32Region, ARegionTheSystemCannotMakeIsNone) {
    EXPECT_EQ(MakeRegion({{0, 0, 2, 2}}, RefuseRegion), nullptr);
    HRGN made = MakeRegion({{0, 0, 2, 2}});
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(PtInRegion(made, 1, 1));
    DeleteObject(made);
}

// Tab moves between the settings window's controls; Enter and Escape close an open list
// without closing the window; Enter on a closed list is the OK button.
TEST(Win32SettingsWindow, KeyboardMovesBetweenControlsAndReachesAnOpenList) {
    tConfigData config;
    config.ParseConfig(std::string_view(
        "[config]\nusercan_changelanguage=true\nusercan_changeautoclose=true\nusercan_changeproxy=true\n"
        "usercan_changedrivetype=true\nusercan_changecheckmethod=true\n"
        "[lang=1033:English]\n12=Settings\n[lang=1049:Russian]\n12=Nastroiki\n"));
    TtucConfigWindow skin;
    TUserSettings user;
    TLanguageArray texts{};
    Win32SettingsWindow view(MainLoop(), nullptr);
    TFSettings settings({config, skin, user, texts, view, MainLoop()});

    HWND dialog = nullptr;
    auto at = [&](const TControl& c) {  // whether the focus is that control's window
        HWND focus = GetFocus();
        RECT r{};
        if (!focus || GetParent(focus) != dialog) return false;
        GetWindowRect(focus, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        return r.left == c.Left && r.top == c.Top;
    };
    auto key = [](WPARAM vk) { PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1); };
    auto dropped = [&] { return SendMessageW(GetFocus(), CB_GETDROPPEDSTATE, 0, 0) != 0; };
    std::vector<std::string> seen;
    int step = 0;
    Timer steps(MainLoop(), 50);
    steps.OnTimer([&] {
        switch (step++) {
            case 0:
                dialog = OwnWindow(L"TarvosSettingsWindow");
                key(VK_TAB);
                break;
            case 1:
                if (at(settings.Box_Language)) seen.push_back("language");
                key(VK_TAB);
                break;
            case 2:
                if (at(settings.Check_Autoclose)) seen.push_back("autoclose");
                key(VK_TAB);
                break;
            case 3:
                if (at(settings.Box_Proxy)) seen.push_back("proxy");
                SendMessageW(GetFocus(), CB_SHOWDROPDOWN, TRUE, 0);
                key(VK_ESCAPE);
                break;
            case 4:
                if (!dropped()) seen.push_back("escape closed the list");
                SendMessageW(GetFocus(), CB_SHOWDROPDOWN, TRUE, 0);
                key(VK_RETURN);
                break;
            case 5:
                if (!dropped()) seen.push_back("enter closed the list");
                key(VK_RETURN);
                break;
            default:
                steps.SetEnabled(false);
                PostMessageW(dialog, WM_CLOSE, 0, 0);  // the keyboard did not close it
        }
    });
    steps.SetEnabled(true);
    EXPECT_EQ(settings.ShowModal(), TModalResult::Ok);
    steps.SetEnabled(false);
    EXPECT_EQ(seen, (std::vector<std::string>{"language", "autoclose", "proxy", "escape closed the list",
                                              "enter closed the list"}));
    EXPECT_EQ(step, 6) << "the window stayed open until the last Enter";
}

// After a self-update the old copy starts its replacement and ends; the replacement, with the
// same instance name, must not take the still ending copy for a running one and end itself.
TEST(Win32Windows, ACopyEndingForItsReplacementLeavesItTheInstance) {
    const std::string name = "Tarvos replacement test";
    StartupState s;
    s.debugFile = std::make_unique<tDebugFile>();
    s.config = std::make_unique<tConfigData>();
    s.skin = std::make_unique<TtucConfig>();
    s.skin->MainWindow.BackGroundImage.image = MakeBitmap(40, 30, kNormal);
    s.instanceName = name;
    Win32Windows ending({});
    ASSERT_FALSE(ending.ActivateOtherInstance(s));
    ending.CreateWindows(s);
    ASSERT_NE(OwnWindow(L"TarvosMainWindow"), nullptr) << "the search below would see no window";
    ending.LeaveForReplacement(name);
    EXPECT_FALSE(Win32Windows({}).ActivateOtherInstance(s)) << "the replacement would end at once";
    // What follows (removing the tray icon, starting the replacement) may block this thread
    // for seconds: no window may be left that nobody answers for.
    for (const wchar_t* kind : {L"TarvosMainWindow", L"TarvosSettingsWindow", L"tooltips_class32"})
        EXPECT_EQ(OwnWindow(kind), nullptr) << "a window of class " << std::filesystem::path(kind).string()
                                            << " is left";
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::filesystem::remove_all(std::filesystem::path(exe).parent_path() / "updater");
}
