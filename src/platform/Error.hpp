#pragma once
#include <stdexcept>
#include <string>

namespace tarvos {

// The one exception type of the program: it carries the message exactly as the user or
// the log is to see it ("Cannot open file x", "error -4", ...).
class TarvosError : public std::runtime_error {
public:
    explicit TarvosError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tarvos
