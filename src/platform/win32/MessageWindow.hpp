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

}  // namespace tarvos
