#pragma once
#include <functional>

namespace tarvos {

// Process-wide "the application has been asked to terminate" flag. The event loop sets
// it when the main window closes; long operations and list builders read it to stop early.
bool ApplicationTerminated();
void SetApplicationTerminated(bool value);

// What must be undone however the process ends, also when EndProcessNow ends it from inside
// a wait where no destructor runs: a notification-area icon, for one, would otherwise stay
// behind its dead process. One hook; an empty one removes it. It runs at most once.
void SetProcessEndHook(std::function<void()> hook);
void RunProcessEndHook() noexcept;

}  // namespace tarvos
