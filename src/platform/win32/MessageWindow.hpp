#pragma once
#include <windows.h>

namespace tarvos {

// A message-only window of the calling thread with its own class (registered once; a
// second registration fails harmlessly). Null when it cannot be created.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC proc);

}  // namespace tarvos
