#include "inspect/InspectEntryPoint.h"

#include <string_view>
#include <vector>

#include "inspect/InspectUsage.h"
#include "inspect/Listing.h"
#include "inspect/OutputBuffer.h"
#include "inspect/RepositoryEntries.h"
#include "inspect/Request.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"
#include "repository/RepositorySession.h"

namespace inspect {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

int FailWithUsage(std::wstring_view message) {
    platform::PrintText(message);
    PrintInspectUsage();
    return kFailure;
}

bool Fail(std::wstring_view message) {
    platform::PrintText(message);
    return false;
}

int PrintVersion() {
    platform::PrintText(L"zarnrepo-inspect " ZARN_VERSION "\n");
    return kSuccess;
}

// Lists the entry named by /fileId, or every entry as it is read, and with
// /verify:1 checks each one's stored copy; true when no problem was found.
// What was listed before a failure is shown before its message.
bool InspectOpenRepository(const Request& request) {
    if (!LibraryListsEntries()) {
        platform::PrintText(L"\n\nKVDFiles library cannot list files.\n\n");
        return false;
    }
    IZarnRepository* opened = repository::CurrentRepository();
    FoundEntry one;
    const wchar_t* failure = request.fileId != nullptr ? FindEntry(opened, *request.fileId, one) : nullptr;
    if (failure != nullptr) return Fail(failure);
    OutputBuffer output;
    Listing listing(request.format, output);
    std::vector<Problem> problems;
    const ShowEntry show = [&](const Entry& entry) {
        listing.Add(entry);
        if (request.verify) failure = CheckStoredCopy(entry, problems);
        return failure == nullptr;
    };
    if (request.fileId != nullptr) show(one.entry);
    else if (const wchar_t* listed = ShowEntries(opened, show)) failure = listed;
    if (failure != nullptr) {
        output.Flush();
        return Fail(failure);
    }
    return listing.Finish(request.verify ? &problems : nullptr) == 0;
}

}  // namespace

int RunInspect(std::span<const std::wstring> arguments) {
    if (const std::wstring* rejected = options::ProcessArguments().StoreCommandLine(arguments)) {
        return FailWithUsage(L"\n\nInvalid argument '" + *rejected + L"'.\n\n");
    }
    Request request;
    if (!ReadRequest(options::ProcessArguments(), request)) return FailWithUsage(L"\n\nInvalid arguments.\n\n");
    if (request.showVersion) return PrintVersion();
    if (!repository::OpenRepository()) return kFailure;
    const bool succeeded = InspectOpenRepository(request);
    repository::CloseRepository();
    return succeeded ? kSuccess : kFailure;
}

}  // namespace inspect
