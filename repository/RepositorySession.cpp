#include "repository/RepositorySession.h"

#include <string>

#include "options/ArgumentMap.h"
#include "platform/Platform.h"
#include "repository/DefaultRepositoryLocation.h"
#include "repository/LibraryBinding.h"

namespace repository {
namespace {

bool Fail(std::wstring_view message) {
    platform::PrintText(message);
    return false;
}

// The /reposDirPath value as given, or the default location; empty when
// neither can be had.
std::wstring ChooseRepositoryPath() {
    if (const std::wstring* given = options::ProcessArguments().Find(L"/reposDirPath")) return *given;
    wchar_t path[kPathBufferCharacters] = {};
    if (!GetDefaultRepositoryPath(path, platform::SystemMachineSettings())) return std::wstring();
    return path;
}

}  // namespace

bool OpenRepository() {
    std::wstring libraryDirectory;
    if (!platform::ReadCurrentDirectory(libraryDirectory)) return Fail(L"\n\nError getting current directory.\n\n");
    // Always one separator more, also after a root that ends in one already.
    libraryDirectory += platform::kPathSeparator;
    if (!LoadRepositoryLibrary(libraryDirectory.c_str())) return Fail(L"\n\nError loading KVDFiles library.\n\n");
    LibraryBinding& binding = ProcessLibraryBinding();
    if (binding.initLibrary(1) == 0) return Fail(L"\n\nError initializing KVDFiles library.\n\n");
    const std::wstring repositoryPath = ChooseRepositoryPath();
    if (repositoryPath.empty()) return Fail(L"\n\nError getting repository path.\n\n");
    binding.currentRepository = binding.getRepositoryFromPath(repositoryPath.c_str());
    if (binding.currentRepository == nullptr) return Fail(L"\n\nError getting IZarnRepository.\n\n");
    return true;
}

void CloseRepository() {
    LibraryBinding& binding = ProcessLibraryBinding();
    if (binding.releaseLibrary != nullptr) {
        binding.releaseLibrary();
        UnloadRepositoryLibrary();
    }
    binding.currentRepository = nullptr;
}

IZarnRepository* CurrentRepository() { return ProcessLibraryBinding().currentRepository; }

}  // namespace repository
