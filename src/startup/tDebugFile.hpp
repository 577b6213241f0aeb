#pragma once
#include <string>
#include <vector>

namespace tarvos {

// The line log behind "-debug". The file always holds every line recorded so far: it is
// rewritten whole on each line, so a killed process still leaves a complete log. Writing it
// never fails the caller.
class tDebugFile {
public:
    tDebugFile() = default;
    explicit tDebugFile(std::string value) : filename(std::move(value)) {}
    ~tDebugFile();
    tDebugFile(const tDebugFile&) = delete;
    tDebugFile& operator=(const tDebugFile&) = delete;

    void WriteErr(const std::string& str);

    std::string filename;
    std::vector<std::string> ts;
    bool enabled = false;

private:
    void Save() const;
};

}  // namespace tarvos
