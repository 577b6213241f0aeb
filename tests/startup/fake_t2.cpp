// A stand-in for the game client: records its command line and working folder in
// "t2-started.txt" in its working folder, then ends.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int main() {
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    if (FILE* f = _wfopen(L"t2-started.txt", L"w")) {
        std::fwprintf(f, L"%ls\n%ls\n", GetCommandLineW(), folder);
        std::fclose(f);
    }
    return 0;
}
