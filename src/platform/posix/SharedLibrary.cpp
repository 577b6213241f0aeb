#include "platform/SharedLibrary.hpp"

#include <dlfcn.h>

namespace tarvos {

std::unique_ptr<SharedLibrary> SharedLibrary::Open(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return std::make_unique<SharedLibrary>(handle);
    return nullptr;
}

SharedLibrary::~SharedLibrary() { dlclose(handle_); }

void* SharedLibrary::Find(const char* name) const { return dlsym(handle_, name); }

}  // namespace tarvos
