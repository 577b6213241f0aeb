#pragma once
#include <initializer_list>
#include <memory>
#include <string>

namespace tarvos {

// A shared library of the system, opened by name (the first of the names that opens) and
// closed by the destructor. Used where the platform loads a library by its own means.
class SharedLibrary {
public:
    static std::unique_ptr<SharedLibrary> Open(std::initializer_list<const char*> names);
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    // The address of an exported symbol, nullptr when missing.
    void* Find(const char* name) const;

private:
    void* handle_;
};

}  // namespace tarvos
