// A library file loaded at run time the way the tool loads it: dlopen on
// POSIX (SharedLibrary_posix.cpp), LoadLibraryExW on Windows
// (SharedLibrary_win32.cpp). Unloaded when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace kvdtest {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Load(const std::filesystem::path& path);
    // The exported symbol's address, or null.
    void* Symbol(const char* name) const;
    // Why the last Load failed.
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace kvdtest
