#include "kvdfiles/tests/SharedLibrary.h"

#include "fileio/WindowsHeaders.h"

namespace kvdtest {
namespace {

HMODULE Module(void* handle) { return static_cast<HMODULE>(handle); }

}  // namespace

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::FreeLibrary(Module(handle_));
}

// The tool's flags: the library's own folder first when it needs anything.
bool SharedLibrary::Load(const std::filesystem::path& path) {
    handle_ = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (handle_ == nullptr) error_ = "LoadLibraryExW failed with error " + std::to_string(::GetLastError());
    return handle_ != nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(Module(handle_), name));
}

}  // namespace kvdtest
