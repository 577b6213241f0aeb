#include <windows.h>

#include <atomic>
#include <cstdio>

#include "platform/Error.hpp"
#include "platform/EventLoop.hpp"
#include "platform/Terminate.hpp"
#include "platform/HandlerBoundary.hpp"
#include "platform/win32/MessageWindow.hpp"

namespace tarvos {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x51;
constexpr wchar_t kClassName[] = L"TarvosEventLoopWindow";

thread_local HWND t_keyboardDialog = nullptr;

// Hand-overs arrive as a message to a message-only window, so they also run inside modal
// loops that Windows runs on our behalf (message boxes, window moves).
class Win32Backend final : public EventLoopBackend {
public:
    explicit Win32Backend(EventLoop& loop) : loop_(loop) {
        hwnd_ = CreateMessageWindow(kClassName, &Win32Backend::WndProc);
        if (!hwnd_) throw TarvosError("Cannot create the event loop");
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Win32Backend() override { DestroyWindow(hwnd_); }

    void Wait(int timeoutMs) override {
        DWORD t = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        MsgWaitForMultipleObjectsEx(0, nullptr, t, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

    void Wake() override {
        if (!posted_.exchange(true)) PostMessageW(hwnd_, kWakeMessage, 0, 0);
    }

    void DispatchPlatform() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                loop_.Terminate();
                continue;
            }
            if (t_keyboardDialog && IsDialogMessageW(t_keyboardDialog, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        return CallbackBoundary<LRESULT>(0, [&] { return Proc(hwnd, msg, wp, lp); });
    }

    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == kWakeMessage) {
            auto* self = reinterpret_cast<Win32Backend*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (self) {
                self->posted_ = false;
                self->loop_.RunQueued();
            }
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    EventLoop& loop_;
    HWND hwnd_ = nullptr;
    std::atomic<bool> posted_{false};
};

}  // namespace

void SetKeyboardDialog(HWND dialog) { t_keyboardDialog = dialog; }

std::unique_ptr<EventLoopBackend> MakeEventLoopBackend(EventLoop& loop) { return std::make_unique<Win32Backend>(loop); }

void EndProcessNow(int code) {
    RunProcessEndHook();
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
}

}  // namespace tarvos
