#include "platform/SingleInstance.hpp"

#include <windows.h>

#include <map>

#include "platform/Text.hpp"

namespace tarvos {

namespace {
// The names this process holds, with their mutexes (main thread only).
std::map<std::string, HANDLE>& Held() {
    static std::map<std::string, HANDLE> held;
    return held;
}
}  // namespace

bool AcquireSingleInstance(const std::string& name) {
    // A named mutex of the session; its handle stays open for the life of the process.
    // A backslash would name another namespace; it is the one character a name cannot hold.
    std::u16string own = Utf8ToUtf16(name);
    for (auto& c : own)
        if (c == u'\\') c = u'/';
    const std::u16string w = u"Local\\TarvosInstance-" + own;
    HANDLE h = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(w.c_str()));
    if (!h) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return false;
    }
    Held()[name] = h;
    return true;
}

void ReleaseSingleInstance(const std::string& name) {
    const auto it = Held().find(name);
    if (it == Held().end()) return;
    CloseHandle(it->second);
    Held().erase(it);
}

}  // namespace tarvos
