#include <exception>
#include <iostream>

#include "platform/ProgramArguments.hpp"
#include "startup/ConsoleWindows.hpp"
#include "startup/Startup.hpp"

int main(int argc, char** argv) {
    try {
        tarvos::ConsoleWindows windows(std::cout);
        return tarvos::RunStartup(tarvos::ProgramArguments(argc, argv), tarvos::OwnResources(), windows);
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
}
