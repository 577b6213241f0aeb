#include "ui/win32/Win32WebView.hpp"

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <oleidl.h>

#include "platform/HandlerBoundary.hpp"
#include "platform/Text.hpp"

namespace tarvos {

namespace {

constexpr wchar_t kHostClass[] = L"TarvosWebHost";
constexpr int kSilentNavigationMs = 30000;
// A navigation this soon after the player's click or Enter in the view is the player's.
constexpr ULONGLONG kGestureMs = 1000;
// The old new-window event and the newer one (the headers of some tool chains lack them).
constexpr DISPID kNewWindow = 107;
constexpr DISPID kNewWindow3 = 273;

void SetFlag(VARIANT& flag, bool value) {
    if (flag.vt == (VT_BYREF | VT_BOOL) && flag.pboolVal) *flag.pboolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The view whose panel the player's input is watched for (one per process, on its thread).
Win32WebView::Impl* g_watched = nullptr;
HHOOK g_inputHook = nullptr;

std::string FromBstr(const VARIANT* v) {
    if (!v) return {};
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt != VT_BSTR || !v->bstrVal) return {};
    const auto* p = reinterpret_cast<const char16_t*>(v->bstrVal);
    return Utf16ToUtf8(std::u16string_view(p, SysStringLen(v->bstrVal)));
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return CallbackBoundary<LRESULT>(0, [&] { return DefWindowProcW(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK InputHook(int code, WPARAM wp, LPARAM lp);

}  // namespace

// The container of the browser control: its client site, its in-place site and frame, and
// the sink of its events. Lives as long as the view; its reference count is not what ends it.
struct Win32WebView::Impl final : IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IDispatch {
    Win32WebView* owner = nullptr;
    HWND host = nullptr;
    IOleObject* ole = nullptr;
    IWebBrowser2* browser = nullptr;
    IConnectionPoint* events = nullptr;
    DWORD cookie = 0;
    ULONGLONG lastGesture = 0;  // GetTickCount64 of the player's last click or Enter in the view

    void Watch(const MSG& msg) {
        const bool gesture = msg.message == WM_LBUTTONUP || msg.message == WM_MBUTTONUP ||
                             (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN);
        if (gesture && host && (msg.hwnd == host || IsChild(host, msg.hwnd))) lastGesture = GetTickCount64();
    }
    bool ByPlayer(const VARIANT* frame) const {
        if (!RecentGesture()) return false;
        // The event names the browser object of the frame that navigates: the top one is ours.
        if (!frame || frame->vt != VT_DISPATCH || !frame->pdispVal || !browser) return false;
        IUnknown *a = nullptr, *b = nullptr;
        frame->pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        const bool top = a && a == b;
        if (a) a->Release();
        if (b) b->Release();
        return top;
    }
    // What the view's owner says of a target; asked of every navigation and window request.
    bool Refused(const std::string& url, bool byPlayer) {
        // Without an answer nothing leaves the news page: a frame or script goes nowhere.
        return !owner->OnBeforeNavigate || owner->OnBeforeNavigate(url, byPlayer);
    }

    // ---- IUnknown (one object for all interfaces) ----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return Query(riid, out); });
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CallbackBoundary<ULONG>(1, [] { return ULONG{1}; }); }
    ULONG STDMETHODCALLTYPE Release() override { return CallbackBoundary<ULONG>(1, [] { return ULONG{1}; }); }

    HRESULT Query(REFIID riid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2)
            *out = static_cast<IDispatch*>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }

    // ---- IOleClientSite ----
    HRESULT STDMETHODCALLTYPE SaveObject() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; }); }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return m ? (*m = nullptr, E_NOTIMPL) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return c ? (*c = nullptr, E_NOINTERFACE) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; });
    }

    // ---- IOleWindow (site and frame alike) ----
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return w ? (*w = host, S_OK) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; });
    }

    // ---- IOleInPlaceSite ----
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return WindowContext(frame, doc, pos, clip, info); });
    }
    HRESULT WindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                          LPOLEINPLACEFRAMEINFO info) {
        if (frame) *frame = static_cast<IOleInPlaceFrame*>(this);
        if (doc) *doc = nullptr;
        RECT r{};
        GetClientRect(host, &r);
        if (pos) *pos = r;
        if (clip) *clip = r;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = GetParent(host);
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; }); }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; }); }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; }); }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }

    // ---- IOleInPlaceUIWindow / IOleInPlaceFrame: no menus, no tool bars ----
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return INPLACE_E_NOTOOLSPACE; }); }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return INPLACE_E_NOTOOLSPACE; });
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; });
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_OK; }); }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return S_FALSE; });
    }

    // ---- IDispatch: the browser's events ----
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [&] { return n ? (*n = 0, S_OK) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return CallbackBoundary<HRESULT>(E_FAIL, [] { return E_NOTIMPL; });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return CallbackBoundary<HRESULT>(S_OK, [&] { return Event(id, params); });
    }
    HRESULT Event(DISPID id, DISPPARAMS* params) {
        // Arguments arrive last first: BeforeNavigate2's frame is the seventh from the end, its
        // URL the sixth, its cancel flag the last.
        if (id == DISPID_BEFORENAVIGATE2 && params && params->cArgs >= 7) {
            const std::string url = FromBstr(&params->rgvarg[5]);
            SetFlag(params->rgvarg[0], Refused(url, ByPlayer(&params->rgvarg[6])));
        } else if (id == kNewWindow3 && params && params->cArgs >= 5) {
            // A link with a target or window.open: the target is judged like any other (a click
            // of the player's may still reach the system browser), but no window opens here,
            // where the filter would not follow it.
            Refused(FromBstr(&params->rgvarg[0]), RecentGesture());
            SetFlag(params->rgvarg[3], true);
        } else if (id == DISPID_NEWWINDOW2 && params && params->cArgs >= 2) {
            SetFlag(params->rgvarg[0], true);
        } else if (id == kNewWindow && params && params->cArgs >= 6) {
            SetFlag(params->rgvarg[0], true);  // its last argument: "processed"
        } else if (id == DISPID_NAVIGATECOMPLETE2) {
            owner->Report(true);
        } else if (id == DISPID_NAVIGATEERROR) {
            owner->Report(false);
        }
        return S_OK;
    }
    bool RecentGesture() const { return lastGesture && GetTickCount64() - lastGesture <= kGestureMs; }

    bool Create(HWND parent) {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = HostProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kHostClass;
            RegisterClassExW(&wc);
            registered = true;
        }
        host = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        if (!host) return false;
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    reinterpret_cast<void**>(&ole))))
            return false;
        if (FAILED(ole->SetClientSite(static_cast<IOleClientSite*>(this)))) return false;
        OleSetContainedObject(ole, TRUE);
        RECT r{};
        GetClientRect(host, &r);
        if (FAILED(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, host, &r)))
            return false;
        if (FAILED(ole->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) return false;
        browser->put_Silent(VARIANT_TRUE);
        IConnectionPointContainer* points = nullptr;
        if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
            if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events)))
                events->Advise(static_cast<IDispatch*>(this), &cookie);
            points->Release();
        }
        if (cookie && !g_watched) {
            g_inputHook = SetWindowsHookExW(WH_GETMESSAGE, InputHook, nullptr, GetCurrentThreadId());
            g_watched = this;
        }
        return cookie != 0;
    }

    void Destroy() {
        if (g_watched == this) {
            if (g_inputHook) UnhookWindowsHookEx(g_inputHook);
            g_inputHook = nullptr;
            g_watched = nullptr;
        }
        if (events) {
            if (cookie) events->Unadvise(cookie);
            events->Release();
        }
        if (browser) browser->Release();
        if (ole) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
            ole->Release();
        }
        if (host) DestroyWindow(host);
        events = nullptr, browser = nullptr, ole = nullptr, host = nullptr;
    }

    void Resize(int width, int height) {
        if (!browser) return;
        IOleInPlaceObject* inplace = nullptr;
        if (SUCCEEDED(ole->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inplace)))) {
            // The page's top rows (a strip the news pages leave empty) lie above the panel.
            RECT page{0, -19, width + 6, height + 40}, clip{0, 0, width, height};
            inplace->SetObjectRects(&page, &clip);
            inplace->Release();
        }
    }
};

namespace {

// Sees every message the thread takes from its queue, before it is dispatched: clicks and
// keys inside the view's panel mark what the player did.
LRESULT CALLBACK InputHook(int code, WPARAM wp, LPARAM lp) {
    return CallbackBoundary<LRESULT>(0, [&] {
        if (code == HC_ACTION && wp == PM_REMOVE && g_watched && lp) g_watched->Watch(*reinterpret_cast<const MSG*>(lp));
        return CallNextHookEx(g_inputHook, code, wp, lp);
    });
}

}  // namespace

Win32WebView::Win32WebView(HWND parent, EventLoop& loop)
    : loop_(loop), watchdog_(loop, kSilentNavigationMs), alive_(std::make_shared<bool>(true)) {
    watchdog_.OnTimer([this] { Report(false); });
    const HRESULT init = OleInitialize(nullptr);
    oleInitialised_ = SUCCEEDED(init);
    auto impl = std::make_unique<Impl>();
    impl->owner = this;
    if (impl->Create(parent)) {
        impl_ = std::move(impl);
    } else {
        // No browser control on this system: the view stays empty.
        impl->Destroy();
    }
}

Win32WebView::~Win32WebView() {
    *alive_ = false;
    if (impl_) impl_->Destroy();
    impl_.reset();
    if (oleInitialised_) OleUninitialize();
}

bool Win32WebView::Available() const { return impl_ != nullptr; }

IDispatch* Win32WebView::EventSink() const { return impl_ && impl_->cookie ? static_cast<IDispatch*>(impl_.get()) : nullptr; }

void Win32WebView::Report(bool complete) {
    watchdog_.SetEnabled(false);
    // Reported from the loop, as the control's own events come after Navigate has returned.
    std::weak_ptr<bool> alive = alive_;
    loop_.Post([this, alive, complete] {
        auto a = alive.lock();
        if (!a || !*a) return;
        if (complete && OnComplete) OnComplete();
        if (!complete && OnError) OnError();
    });
}

void Win32WebView::Navigate(const std::string& url) {
    if (!impl_) {
        Report(false);
        return;
    }
    const std::u16string wide = Utf8ToUtf16(url);
    BSTR target = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT hr = impl_->browser->Navigate(target, &empty, &empty, &empty, &empty);
    SysFreeString(target);
    if (FAILED(hr)) {
        Report(false);
        return;
    }
    // A control that never reports back (no engine behind it) must not hold the run.
    watchdog_.SetEnabled(false);
    watchdog_.SetEnabled(true);
}

void Win32WebView::SetBounds(int left, int top, int width, int height) {
    if (!impl_) return;
    MoveWindow(impl_->host, left, top, width, height, TRUE);
    impl_->Resize(width, height);
}

void Win32WebView::Show(bool visible) {
    if (impl_) ShowWindow(impl_->host, visible ? SW_SHOWNA : SW_HIDE);
}

}  // namespace tarvos
