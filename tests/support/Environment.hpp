#pragma once
// Setting environment variables for a child process, on both platforms.
#include <cstdlib>
#include <string>

namespace tarvos::test {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

}  // namespace tarvos::test
