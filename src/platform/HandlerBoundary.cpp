#include "platform/HandlerBoundary.hpp"

#include <exception>
#include <mutex>

#include "platform/MessageBox.hpp"

namespace tarvos {
namespace {

std::mutex g_sinkMutex;
HandlerErrorSink g_sink;

}  // namespace

void ReportHandlerError(const std::string& text) noexcept {
    try {
        HandlerErrorSink sink;
        {
            std::lock_guard lock(g_sinkMutex);
            sink = g_sink;
        }
        if (sink)
            sink(text);
        else
            ShowMessageBox("Error", text);
    } catch (...) {
        // Nothing is left to show a failing error display with.
    }
}

void ReportCurrentException() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        ReportHandlerError(e.what());
    } catch (...) {
        ReportHandlerError("Unknown error");
    }
}

HandlerErrorSink SetHandlerErrorSink(HandlerErrorSink sink) {
    std::lock_guard lock(g_sinkMutex);
    std::swap(g_sink, sink);
    return sink;
}

bool RunHandler(const std::function<void()>& fn) noexcept {
    try {
        if (fn) fn();
        return true;
    } catch (...) {
        ReportCurrentException();
        return false;
    }
}

}  // namespace tarvos
