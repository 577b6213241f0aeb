#pragma once

namespace tarvos {

// Process-wide "the application has been asked to terminate" flag. The event loop sets
// it when the main window closes; long operations and list builders read it to stop early.
bool ApplicationTerminated();
void SetApplicationTerminated(bool value);

}  // namespace tarvos
