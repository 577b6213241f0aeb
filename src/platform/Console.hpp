#pragma once
#include <functional>

namespace tarvos {

// True when standard output is a terminal that understands the cursor controls the
// console view redraws its progress bars with (on Windows: a console with them switched on).
bool StandardOutputIsTerminal();

// Calls handler on a thread of its own each time the user asks the program to stop
// (Ctrl-C, SIGINT, SIGTERM; Ctrl-C, Ctrl-Break or closing the console on Windows).
// Install it first thing in main, before any thread starts: on Linux the requests are
// blocked in every thread and received by one waiting thread, so no code runs inside a
// signal handler. Programs started later get the default handling back.
void OnInterruptRequest(std::function<void()> handler);

}  // namespace tarvos
