#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The few operating-system services the publisher needs beyond the launcher's own.
namespace tarvos::publish {

// A file's last-write time the way the launcher's hash calculator reads an installed file:
// converted to local time with the daylight-saving rules in force at that moment, cut to the
// millisecond, as a date value. Throws TarvosError when the time cannot be read.
double LocalDateOfFile(const std::filesystem::path& file);

// The program named on the command line (a path) or found on the search path by its bare
// name ("rar"; on Windows "rar.exe" as well); empty when there is none.
std::optional<std::filesystem::path> FindProgram(const std::string& name);

struct ProcessResult {
    int exitCode = -1;
    std::string output;  // what the program wrote to its standard output and error
};
// Runs a program with UTF-8 arguments, its input empty, and waits for it. Safe to call from
// several threads at once. Throws TarvosError when it cannot be started.
ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& args);

// Moves a finished file over its final name in one step, replacing what is there.
void MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to);

// Creates a new file that only its owner may read or write, holding bytes; throws
// TarvosError when it exists already or cannot be written.
void WriteOwnerOnlyFile(const std::filesystem::path& file, const std::string& bytes);

// Whether the standard error stream is a terminal (for the progress bar).
bool StderrIsTerminal();

}  // namespace tarvos::publish
