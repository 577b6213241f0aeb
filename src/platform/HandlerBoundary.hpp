#pragma once
#include <functional>
#include <string>
#include <utility>

namespace tarvos {

// Receives the text of an error that escaped an event handler.
using HandlerErrorSink = std::function<void(const std::string& text)>;

// Shows an error that escaped an event handler the way the platform shows an unhandled
// error (a message box on Windows, one line on stderr for the console programs), or hands
// it to the installed sink. Never throws.
void ReportHandlerError(const std::string& text) noexcept;
// Reports the exception being handled; call it only inside a catch block.
void ReportCurrentException() noexcept;
// Installs a sink (a console view, a test); an empty one restores the platform's way.
// Returns the previous sink.
HandlerErrorSink SetHandlerErrorSink(HandlerErrorSink sink);

// The boundary around every event handler: whatever escapes fn is reported and the
// handler is abandoned, so one failing handler never ends the launcher. False when fn
// did not complete.
bool RunHandler(const std::function<void()>& fn) noexcept;

// The boundary for functions that Windows or a C library calls back. No C++ exception may
// unwind through their frames (the 32-bit compiler unwinds with tables that cannot cross
// them and the process dies), so each such callback is one line forwarding into this.
template <class R, class F>
R CallbackBoundary(R onError, F&& fn) noexcept {
    try {
        return std::forward<F>(fn)();
    } catch (...) {
        ReportCurrentException();
        return onError;
    }
}

}  // namespace tarvos
