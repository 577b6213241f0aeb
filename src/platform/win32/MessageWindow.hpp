#pragma once
#include <windows.h>

#include "platform/HandlerBoundary.hpp"

namespace tarvos {

// A message-only window of the calling thread with its own class (registered once; a
// second registration fails harmlessly). Null when it cannot be created.
HWND CreateMessageWindow(const wchar_t* className, WNDPROC proc);

// The window procedure of a window whose object (a T) sits in its user data: the message
// goes to the object's Proc, or to the default procedure before the object is attached.
// T makes this a friend when its Proc is private.
template <class T>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return CallbackBoundary<LRESULT>(0, [&] {
        auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return self ? self->Proc(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
    });
}

// While set, the keyboard messages of the window and of its controls are handled the way a
// dialog box handles them: Tab and Shift+Tab move between the controls, Enter and Escape
// become the commands IDOK and IDCANCEL unless a control wants the key (an open list).
// Null ends it. The loop of the calling thread applies it.
void SetKeyboardDialog(HWND dialog);

}  // namespace tarvos
