#include "platform/win32/Win32WebView.hpp"

namespace tarvos {

// The browser control lives in an OLE container; where no such control can be created the
// view stays empty and reports every navigation as failed.
struct Win32WebView::Impl {};

Win32WebView::Win32WebView(HWND, EventLoop& loop) : loop_(loop), alive_(std::make_shared<bool>(true)) {}

Win32WebView::~Win32WebView() { *alive_ = false; }

bool Win32WebView::Available() const { return impl_ != nullptr; }

void Win32WebView::Navigate(const std::string&) {
    // Reported from the loop, as a control reports its events after Navigate has returned.
    std::weak_ptr<bool> alive = alive_;
    loop_.Post([this, alive] {
        if (auto a = alive.lock(); a && *a && OnError) OnError();
    });
}

void Win32WebView::SetBounds(int, int, int, int) {}

void Win32WebView::Show(bool) {}

}  // namespace tarvos
