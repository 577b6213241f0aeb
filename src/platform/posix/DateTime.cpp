#include "platform/DateTime.hpp"

namespace tarvos {

// Linux has no per-user short-date setting the launcher could honour the way Windows does;
// one fixed format keeps list files readable the same way on every machine.
const RegionalDateFormat& UserDateFormat() {
    static const RegionalDateFormat format{};
    return format;
}

}  // namespace tarvos
