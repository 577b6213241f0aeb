#include "platform/Console.hpp"

#include <windows.h>

#include "platform/HandlerBoundary.hpp"

namespace tarvos {

namespace {

std::function<void()>& InterruptHandler() {
    static std::function<void()> handler;
    return handler;
}

BOOL WINAPI ConsoleControl(DWORD) {
    return CallbackBoundary(FALSE, [] {
        if (!InterruptHandler()) return FALSE;
        InterruptHandler()();
        return TRUE;
    });
}

}  // namespace

bool StandardOutputIsTerminal() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    // Cursor controls work only once the console has been told to interpret them.
    return SetConsoleMode(out, mode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */) != 0;
}

void OnInterruptRequest(std::function<void()> handler) {
    InterruptHandler() = std::move(handler);
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
}

}  // namespace tarvos
