#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// A fresh folder that is also the current working directory while the object lives.
namespace tarvos::testing {

class TempFolder {
public:
    explicit TempFolder(const std::string& name) {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TempFolder() {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_, old_;
};

inline std::string FileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace tarvos::testing
