#pragma once
#include <memory>
#include <string>
#include <vector>

namespace tarvos::test {

class FaultServer;

// The fault-injecting server a test talks to: in-process natively, or the native program
// that the test runner started beside a Windows test (its ports in the environment).
// See FaultServer.hpp for the URL options.
class TestServer {
public:
    explicit TestServer(bool https = false);
    ~TestServer();

    // False when this kind of server cannot run here (the reason in Why()).
    bool Available() const { return port_ > 0; }
    const std::string& Why() const { return why_; }

    std::string Base() const;
    // URL of a file with options, e.g. Url(token, "size=100000,drop=50000").
    std::string Url(const std::string& token, const std::string& options, const std::string& name = "file.bin") const;
    // Real files: the folder this server serves them from, as this test process writes it
    // (empty when it serves none), and the URL prefix of <FilesRoot>/<token>/.
    std::string FilesRoot() const { return filesRoot_; }
    std::string FolderUrl(const std::string& token, const std::string& options = "") const;
    // Publishes <FilesRoot>/<token>/game into <FilesRoot>/<token>/server (required.txt and
    // delete.txt beside them when present); empty when it worked, else the reason.
    std::string Publish(const std::string& token) const;
    // Requests seen for a token: "<METHOD> <path> <Range or ->".
    std::vector<std::string> Log(const std::string& token) const;
    // A token no other test of this server has used.
    static std::string NewToken();

private:
    std::unique_ptr<FaultServer> local_;
    std::string scheme_ = "http";
    int port_ = -1;
    std::string why_;
    std::string filesRoot_;
};

// A temporary folder removed with its contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file; empty when it does not exist.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// The first offset where data differs from the test pattern, or -1 when it matches.
long long FirstPatternMismatch(const std::string& data, long long offset = 0);

}  // namespace tarvos::test
