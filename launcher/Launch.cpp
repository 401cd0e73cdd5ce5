#include "launcher/Launch.h"

#include <vector>

#include "launcher/ProgramImage.h"
#include "platform/Platform.h"

namespace launcher {
namespace {

constexpr int kFailure = 1;

constexpr std::wstring_view kRepositoryKey = L"/reposDirPath";

int Fail(std::wstring_view message) {
    platform::PrintText(message);
    return kFailure;
}

// The /reposDirPath value the program would open as a path relative to the
// folder it starts in, read as the program reads it; null when there is none.
// An empty value stays as it is: the program refuses it.
const std::wstring* RelativeRepositoryPath(std::span<const std::wstring> arguments, const LaunchedProgram& program) {
    options::ArgumentMap& map = options::ProcessArguments();
    if (map.StoreCommandLine(arguments) != nullptr || !program.opensRepository(map)) return nullptr;
    const std::wstring* path = map.Find(kRepositoryKey);
    if (path == nullptr || path->empty() || !platform::IsRelativePath(*path)) return nullptr;
    return path;
}

std::wstring InFolder(std::wstring folder, std::wstring_view name) {
    if (folder.empty() || folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
    return folder += name;
}

// The option that names the same repository from any folder. Quoted, so that
// the map takes the value whole whatever quote it ends with.
bool AbsoluteRepositoryOption(const std::wstring& relativePath, std::wstring& option) {
    std::wstring callerFolder;
    if (!platform::ReadCurrentDirectory(callerFolder)) return false;
    option.assign(kRepositoryKey);
    option += L":\"";
    option += InFolder(callerFolder, relativePath);
    option += L'"';
    return true;
}

// The key has no colon of its own, so the argument map files exactly the
// arguments that start with it and a colon under it.
bool IsRepositoryOption(const std::wstring& argument) {
    return argument.starts_with(kRepositoryKey) && argument.size() > kRepositoryKey.size() &&
           argument[kRepositoryKey.size()] == L':';
}

// Rewrites the first /reposDirPath, the one the map keeps; false when the
// caller's folder cannot be read.
bool KeepRepositoryMeaning(std::vector<std::wstring>& arguments, const LaunchedProgram& program) {
    const std::wstring* relativePath = RelativeRepositoryPath(arguments, program);
    if (relativePath == nullptr) return true;
    std::wstring option;
    if (!AbsoluteRepositoryOption(*relativePath, option)) return false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (IsRepositoryOption(arguments[i])) {
            arguments[i] = option;
            break;
        }
    }
    return true;
}

}  // namespace

int Launch(std::span<const std::wstring> arguments, const LaunchedProgram& program) {
    std::vector<std::wstring> programArguments(arguments.begin(), arguments.end());
    if (!KeepRepositoryMeaning(programArguments, program)) return Fail(L"\n\nError getting current directory.\n\n");
    std::wstring ownFolder;
    if (!ReadOwnFolder(ownFolder)) return Fail(L"\n\nError finding the folder of the launcher.\n\n");
    const std::wstring programFolder = InFolder(ownFolder, L"" ZARN_PROGRAM_FOLDER_FROM_LAUNCHER);
    const std::wstring programPath = InFolder(programFolder, program.fileName);
    if (programArguments.empty()) programArguments.emplace_back();
    programArguments[0] = programPath;
    if (platform::ChangeCurrentDirectory(programFolder)) ReplaceProcess(programPath, programArguments);
    return Fail(L"\n\nError starting " + programPath + L".\n\n");
}

}  // namespace launcher
