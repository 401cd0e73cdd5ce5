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

int PrintVersion() {
    platform::PrintText(L"zarnrepo-inspect " ZARN_VERSION "\n");
    return kSuccess;
}

// Prints the listing and, in text, the verdict; true when no problem was found.
bool PrintReport(const Request& request, const std::vector<Entry>& entries, const std::vector<Problem>& problems) {
    OutputBuffer output;
    if (request.format == Format::Json) {
        WriteJsonDocument(entries, request.verify ? &problems : nullptr, output);
    } else {
        WriteTextListing(entries, output);
        WriteProblemLines(problems, output);
        if (!problems.empty()) output.Text() += ProblemSummary(problems.size());
    }
    output.Flush();
    return problems.empty();
}

// The entry named by /fileId, or every entry.
bool ReadRequestedEntries(const Request& request, std::vector<Entry>& entries) {
    IZarnRepository* opened = repository::CurrentRepository();
    return request.fileId != nullptr ? ReadEntry(opened, *request.fileId, entries) : ReadEntries(opened, entries);
}

bool InspectOpenRepository(const Request& request) {
    if (!LibraryListsEntries()) {
        platform::PrintText(L"\n\nKVDFiles library cannot list files.\n\n");
        return false;
    }
    std::vector<Entry> entries;
    std::vector<Problem> problems;
    if (!ReadRequestedEntries(request, entries)) return false;
    if (request.verify && !FindStoredCopyProblems(entries, problems)) return false;
    return PrintReport(request, entries, problems);
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
