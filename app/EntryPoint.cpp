#include "app/EntryPoint.h"

#include <string_view>

#include "app/OpensRepository.h"
#include "app/Usage.h"
#include "commands/Commands.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"
#include "repository/RepositorySession.h"

namespace app {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

struct CommandHandler {
    std::wstring_view name;
    bool (*run)();
};

// Tried in this order; the first equal name wins.
constexpr CommandHandler kCommandHandlers[] = {
    {L"getFile", commands::RunGetFile},
    {L"addFile", commands::RunAddFile},
    {L"modifyFile", commands::RunModifyFile},
    {L"deleteFile", commands::RunDeleteFile},
};

int FailWithUsage(std::wstring_view message) {
    platform::PrintText(message);
    PrintUsage();
    return kFailure;
}

bool EnterRepositoryDirectory(const std::wstring& repositoryDirectory) {
    if (platform::ChangeCurrentDirectory(repositoryDirectory)) return true;
    platform::PrintText(L"\n\nError setting current directory to repository path.\n\n");
    return false;
}

bool Dispatch(const std::wstring& commandName) {
    for (const CommandHandler& handler : kCommandHandlers) {
        if (handler.name == commandName) return handler.run();
    }
    platform::PrintText(L"\n\nInvalid command '" + commandName + L"'\n\n");
    return false;
}

// Runs the command on the open repository and closes it on every path.
int RunOnOpenRepository(const std::wstring& commandName) {
    const std::wstring* requested = options::ProcessArguments().Find(L"/reposDirPath");
    if (requested == nullptr) {
        platform::PrintText(L"\n\nInvalid arguments.\n\n");
        repository::CloseRepository();
        PrintUsage();
        return kFailure;
    }
    const std::wstring repositoryDirectory = *requested;
    const bool succeeded = EnterRepositoryDirectory(repositoryDirectory) && Dispatch(commandName);
    repository::CloseRepository();
    return succeeded ? kSuccess : kFailure;
}

}  // namespace

int RunTool(std::span<const std::wstring> arguments) {
    if (const std::wstring* rejected = options::ProcessArguments().StoreCommandLine(arguments)) {
        return FailWithUsage(L"\n\nInvalid argument '" + *rejected + L"'.\n\n");
    }
    if (!OpensRepository(options::ProcessArguments())) return FailWithUsage(L"\n\nInvalid arguments.\n\n");
    const std::wstring commandName = options::OptionValue(L"/command");
    if (!repository::OpenRepository()) return kFailure;
    return RunOnOpenRepository(commandName);
}

}  // namespace app
