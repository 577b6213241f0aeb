#pragma once
#include <windows.h>
// IDispatch
#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/EventLoop.hpp"

namespace tarvos {

// The news page's view: the system's web-browser control. The outcome of each navigation
// comes back through the handlers, on the loop's thread, never inside Navigate. A control
// that cannot be created makes every navigation end in an error, and so does a navigation
// the control has not reported on after half a minute.
class Win32WebView {
public:
    Win32WebView(HWND parent, EventLoop& loop);
    ~Win32WebView();
    Win32WebView(const Win32WebView&) = delete;
    Win32WebView& operator=(const Win32WebView&) = delete;

    // True to cancel the navigation to that URL inside the view. `byPlayer`: the player has
    // just clicked (or pressed Enter) in the view and the navigation is of its top frame, not
    // of a frame inside or of a script on its own. A request for a new window comes here too,
    // and is cancelled whatever the answer: the view never opens a browser window of its own.
    std::function<bool(const std::string& url, bool byPlayer)> OnBeforeNavigate;
    std::function<void()> OnComplete, OnError;

    void Navigate(const std::string& url);
    void SetBounds(int left, int top, int width, int height);
    void Show(bool visible);
    bool Available() const;
    // Where the control reports its events (the sink it was advised of); null without one.
    IDispatch* EventSink() const;

    struct Impl;

private:
    // The outcome of a navigation, handed to the handlers from the loop.
    void Report(bool complete);

    EventLoop& loop_;
    Timer watchdog_;
    bool oleInitialised_ = false;
    std::shared_ptr<bool> alive_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarvos
