#pragma once
#include <ostream>

#include "startup/Startup.hpp"

namespace tarvos {

// The console front end of start-up: instead of windows it prints what the windows would
// show. Only one copy is ever checked for by the windowed launcher, so this one never finds
// another.
class ConsoleWindows : public StartupWindows {
public:
    explicit ConsoleWindows(std::ostream& out) : out_(out) {}
    bool ActivateOtherInstance(const std::string&) override { return false; }
    void CreateWindows(StartupState& state) override;
    int Run() override { return 0; }

private:
    std::ostream& out_;
};

}  // namespace tarvos
