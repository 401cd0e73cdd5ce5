// A library file loaded at run time as the tool loads it (the platform
// layer's own calls), unloaded when the object goes.
#pragma once

#include <filesystem>

#include "fileio/FileIo.h"
#include "platform/Platform.h"

namespace test_support {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() {
        if (module_ != nullptr) platform::FreeLibraryFile(module_);
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Load(const std::filesystem::path& path) {
        module_ = platform::LoadLibraryFile(fileio::WideFromPath(path));
        return module_ != nullptr;
    }
    // The exported symbol's address, or null.
    void* Symbol(const char* name) const { return platform::FindLibraryExport(module_, name); }

private:
    platform::LibraryModule module_ = nullptr;
};

}  // namespace test_support
