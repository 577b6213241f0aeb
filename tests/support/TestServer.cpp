#include "support/TestServer.hpp"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/HttpClient.hpp"
#include "platform/Text.hpp"
#include "support/Pattern.hpp"
#ifndef _WIN32
#include "support/FaultServer.hpp"
#else
namespace tarvos::test {
class FaultServer {};  // never hosted in a Windows test: it runs beside it
}  // namespace tarvos::test
#endif

namespace tarvos::test {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

#ifndef _WIN32
// A self-signed certificate for 127.0.0.1, made once per process with the openssl tool.
bool MakeCertificate(const std::string& dir) {
    std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost "
                      "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" + dir + "/key.pem' -out '" + dir +
                      "/cert.pem' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}
#endif

}  // namespace

TestServer::TestServer(bool https) {
    scheme_ = https ? "https" : "http";
    const std::string external = Env(https ? "TARVOS_TEST_SERVER_TLS_PORT" : "TARVOS_TEST_SERVER_PORT");
    if (!external.empty()) {
        port_ = std::atoi(external.c_str());
        std::string ca = Env("TARVOS_TEST_CA");
#ifdef _WIN32
        if (!ca.empty() && ca[0] == '/') ca = "Z:" + ca;  // Wine shows the host's root as Z:
#endif
        if (https && !ca.empty()) SetCaFile(ca);
        filesRoot_ = Env("TARVOS_TEST_SERVER_ROOT");
#ifdef _WIN32
        if (!filesRoot_.empty() && filesRoot_[0] == '/') filesRoot_ = "Z:" + filesRoot_;
#endif
        return;
    }
#ifdef _WIN32
    why_ = "no fault server beside this test (run it through ctest)";
#else
    if (https) {
        static TempDir certDir;
        static const bool made = MakeCertificate(certDir.Path());
        if (!made) {
            why_ = "the openssl tool could not make a certificate";
            return;
        }
        local_ = std::make_unique<FaultServer>(certDir.File("cert.pem"), certDir.File("key.pem"));
        SetCaFile(certDir.File("cert.pem"));
    } else {
        static TempDir filesDir;
        filesRoot_ = filesDir.Path();
        local_ = std::make_unique<FaultServer>("", "", filesRoot_);
    }
    if (local_->Ok())
        port_ = local_->Port();
    else
        why_ = "the test server could not listen";
#endif
}

TestServer::~TestServer() = default;

std::string TestServer::Base() const {
    // https by name: the Windows TLS stack under Wine checks only name entries of a certificate.
    const char* host = scheme_ == "https" ? "localhost" : "127.0.0.1";
    return scheme_ + "://" + host + ":" + std::to_string(port_);
}

std::string TestServer::Url(const std::string& token, const std::string& options, const std::string& name) const {
    return Base() + "/t/" + token + "/" + options + "/" + name;
}

std::string TestServer::FolderUrl(const std::string& token, const std::string& options) const {
    return Base() + "/d/" + token + "/" + (options.empty() ? "-" : options) + "/";
}

namespace {

// The body of a GET made as the launcher makes its requests; empty when none arrived.
std::string Fetch(const std::string& url) {
    std::string body;
    CURL* easy = curl_easy_init();
    if (!easy) return body;
    SetUpCurlRequest(easy, url, false, nullptr);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t n, void* out) -> size_t {
        try {  // nothing may unwind through curl
            static_cast<std::string*>(out)->append(data, size * n);
            return size * n;
        } catch (...) {
            return 0;
        }
    });
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(easy) != CURLE_OK) body.clear();
    curl_easy_cleanup(easy);
    return body;
}

}  // namespace

std::string TestServer::Publish(const std::string& token) const {
    const std::string body = Fetch(Base() + "/publish/" + token);
    return body == "ok" ? std::string() : "publishing failed: " + body;
}

std::vector<std::string> TestServer::Log(const std::string& token) const { return SplitLines(Fetch(Base() + "/log/" + token)); }

std::string TestServer::NewToken() {
    static std::atomic<int> counter{0};
    static const auto salt = std::random_device{}();
    return "k" + std::to_string(salt % 1000000) + "n" + std::to_string(++counter);
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    auto p = base / ("tarvos-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(p);
    path_ = PathToUtf8(p);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(PathFromUtf8(path_), ec);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(PathFromUtf8(path), ec);
}

long long FirstPatternMismatch(const std::string& data, long long offset) {
    for (size_t i = 0; i < data.size(); ++i)
        if (static_cast<unsigned char>(data[i]) != PatternByte(offset + static_cast<long long>(i)))
            return offset + static_cast<long long>(i);
    return -1;
}

}  // namespace tarvos::test
