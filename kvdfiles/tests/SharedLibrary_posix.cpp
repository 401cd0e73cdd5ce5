#include "kvdfiles/tests/SharedLibrary.h"

#include <dlfcn.h>

namespace kvdtest {

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

bool SharedLibrary::Load(const std::filesystem::path& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) error_ = dlerror();
    return handle_ != nullptr;
}

void* SharedLibrary::Symbol(const char* name) const { return dlsym(handle_, name); }

}  // namespace kvdtest
