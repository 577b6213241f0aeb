// What the tests ask of the desktop from inside Wine, the way any other program would:
//   list [LIMIT]   walks every top-level window and its children with their titles
//                  (GetWindowTextW asks a window with a message where it has to) and prints
//                  them; ends with 3 when the walk has not ended within LIMIT milliseconds
//                  (default 1000): some window does not answer.
//   close TITLE    asks the window with that title to close (1: none).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

BOOL CALLBACK Child(HWND hwnd, LPARAM) {
    wchar_t title[256] = L"";
    GetWindowTextW(hwnd, title, 256);
    if (title[0]) std::wprintf(L"  %ls\n", title);
    return TRUE;
}

BOOL CALLBACK TopLevel(HWND hwnd, LPARAM) {
    wchar_t title[256] = L"";
    GetWindowTextW(hwnd, title, 256);
    if (title[0]) std::wprintf(L"%ls\n", title);
    EnumChildWindows(hwnd, Child, 0);
    return TRUE;
}

DWORD WINAPI Walk(void*) {
    EnumWindows(TopLevel, 0);
    return 0;
}

int List(DWORD limit) {
    GetDesktopWindow();  // the process's first call into the window system starts it up: not timed
    HANDLE walker = CreateThread(nullptr, 0, Walk, nullptr, 0, nullptr);
    if (!walker) return 1;
    if (WaitForSingleObject(walker, limit) == WAIT_TIMEOUT) {
        std::printf("the window listing did not end within %lu ms\n", static_cast<unsigned long>(limit));
        std::fflush(stdout);
        ExitProcess(3);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* verb = argc > 1 ? argv[1] : "list";
    if (std::strcmp(verb, "list") == 0) return List(argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 1000);
    if (argc < 3 || std::strcmp(verb, "close") != 0) return 2;
    HWND window = FindWindowA(nullptr, argv[2]);
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
