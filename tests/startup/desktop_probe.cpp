// What the tests ask of the desktop from inside Wine, the way any other program would:
//   list [LIMIT [PROGRAM]]
//                  walks every top-level window and its children, prints their titles and
//                  sends each one a message that its thread must answer, as every broadcast
//                  does; ends with 3 naming the first window whose thread has not answered
//                  within LIMIT milliseconds (default 1000) and that still exists. With
//                  PROGRAM (a file name such as tarvos.exe), only that program's windows
//                  count; others that do not answer are named and passed over.
//   close TITLE    asks the window with that title to close (1: none).
//   confirm TITLE  presses the default button of the message box with that title, as Enter
//                  does (1: none).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

DWORD g_limit = 1000;
const wchar_t* g_program = nullptr;

// The file name of the program that runs a process ("?" when it cannot be read).
void ProgramOf(DWORD process, wchar_t* name, DWORD size) {
    wcsncpy(name, L"?", size);
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!h) return;
    wchar_t path[MAX_PATH] = L"";
    DWORD length = MAX_PATH;
    if (QueryFullProcessImageNameW(h, 0, path, &length)) {
        const wchar_t* slash = wcsrchr(path, L'\\');
        wcsncpy(name, slash ? slash + 1 : path, size - 1);
        name[size - 1] = 0;
    }
    CloseHandle(h);
}

// Titles are read without a message (as the system does for other processes), so only the
// explicit message below decides whether a window answers.
void Visit(HWND hwnd, const wchar_t* indent) {
    wchar_t title[256] = L"", kind[128] = L"";
    GetWindowTextW(hwnd, title, 256);
    GetClassNameW(hwnd, kind, 128);
    if (title[0]) std::wprintf(L"%ls%ls\n", indent, title);
    DWORD_PTR answer = 0;
    // A window that was being destroyed meanwhile was going, not forgotten: only one still
    // there after the limit went unanswered.
    if (!SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, g_limit, &answer) &&
        GetLastError() == ERROR_TIMEOUT && IsWindow(hwnd)) {
        DWORD process = 0;
        const DWORD thread = GetWindowThreadProcessId(hwnd, &process);
        wchar_t program[MAX_PATH] = L"";
        ProgramOf(process, program, MAX_PATH);
        const bool counts = !g_program || _wcsicmp(program, g_program) == 0;
        std::wprintf(L"%lswindow %p of class %ls (\"%ls\"), thread %lu of process %lu (%ls), did not answer within %lu ms\n",
                     counts ? L"" : L"passed over: ", static_cast<void*>(hwnd), kind, title,
                     static_cast<unsigned long>(thread), static_cast<unsigned long>(process), program,
                     static_cast<unsigned long>(g_limit));
        std::fflush(stdout);
        if (counts) ExitProcess(3);
    }
}

BOOL CALLBACK Child(HWND hwnd, LPARAM) {
    Visit(hwnd, L"  ");
    return TRUE;
}

BOOL CALLBACK TopLevel(HWND hwnd, LPARAM) {
    Visit(hwnd, L"");
    EnumChildWindows(hwnd, Child, 0);
    return TRUE;
}

DWORD WINAPI Walk(void*) {
    EnumWindows(TopLevel, 0);
    return 0;
}

int List(DWORD limit) {
    g_limit = limit;
    GetDesktopWindow();  // the process's first call into the window system starts it up: not timed
    HANDLE walker = CreateThread(nullptr, 0, Walk, nullptr, 0, nullptr);
    if (!walker) return 1;
    // Each window has its own limit; the whole walk may take a few of them, never forever.
    if (WaitForSingleObject(walker, 10 * limit) == WAIT_TIMEOUT) {
        std::printf("the window listing did not end within %lu ms\n", static_cast<unsigned long>(10 * limit));
        std::fflush(stdout);
        ExitProcess(3);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* verb = argc > 1 ? argv[1] : L"list";
    if (std::wcscmp(verb, L"list") == 0) {
        if (argc > 3) g_program = argv[3];
        return List(argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 1000);
    }
    if (argc < 3) return 2;
    if (std::wcscmp(verb, L"confirm") == 0) {
        HWND box = FindWindowW(L"#32770", argv[2]);
        return box && PostMessageW(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
    }
    if (std::wcscmp(verb, L"close") != 0) return 2;
    HWND window = FindWindowW(nullptr, argv[2]);
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
