#pragma once
#include <cstdint>

namespace tarvos {

// The operating system's default language as a Windows language identifier (1033 English,
// 1049 Russian, ...): the languages of a configuration are numbered that way. On Linux it
// comes from the locale variables (LC_ALL, LC_MESSAGES, LANG); 1033 when they name none
// that is known.
std::int32_t SystemLanguageId();

}  // namespace tarvos
