#include <windows.h>

#include "platform/SystemLanguage.hpp"

namespace tarvos {

std::int32_t SystemLanguageId() { return static_cast<std::int32_t>(GetSystemDefaultLangID()); }

}  // namespace tarvos
