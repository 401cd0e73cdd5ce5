#include "inspect/InspectEntryPoint.h"

#include <string_view>
#include <vector>

#include "inspect/InspectUsage.h"
#include "inspect/Listing.h"
#include "inspect/OutputBuffer.h"
#include "inspect/RepositoryEntries.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"
#include "repository/RepositorySession.h"

namespace inspect {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

enum class Format { Text, Json };

struct Request {
    Format format = Format::Text;
    bool verify = false;
};

int FailWithUsage(std::wstring_view message) {
    platform::PrintText(message);
    PrintInspectUsage();
    return kFailure;
}

// An absent option takes its first allowed value.
bool ChooseValue(std::wstring_view key, std::initializer_list<std::wstring_view> allowed, std::size_t& chosen) {
    const std::wstring* given = options::ProcessArguments().Find(key);
    chosen = 0;
    if (given == nullptr) return true;
    for (const std::wstring_view value : allowed) {
        if (value == *given) return true;
        ++chosen;
    }
    return false;
}

bool ReadRequest(Request& request) {
    std::size_t format = 0;
    std::size_t verify = 0;
    if (options::ProcessArguments().Find(L"/reposDirPath") == nullptr) return false;
    if (!ChooseValue(L"/format", {L"text", L"json"}, format)) return false;
    if (!ChooseValue(L"/verify", {L"0", L"1"}, verify)) return false;
    request.format = format == 0 ? Format::Text : Format::Json;
    request.verify = verify == 1;
    return true;
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

bool InspectOpenRepository(const Request& request) {
    if (!LibraryListsEntries()) {
        platform::PrintText(L"\n\nKVDFiles library cannot list files.\n\n");
        return false;
    }
    std::vector<Entry> entries;
    std::vector<Problem> problems;
    if (!ReadEntries(repository::CurrentRepository(), entries)) return false;
    if (request.verify && !FindStoredCopyProblems(entries, problems)) return false;
    return PrintReport(request, entries, problems);
}

}  // namespace

int RunInspect(std::span<const std::wstring> arguments) {
    if (const std::wstring* rejected = options::ProcessArguments().StoreCommandLine(arguments)) {
        return FailWithUsage(L"\n\nInvalid argument '" + *rejected + L"'.\n\n");
    }
    Request request;
    if (!ReadRequest(request)) return FailWithUsage(L"\n\nInvalid arguments.\n\n");
    if (!repository::OpenRepository()) return kFailure;
    const bool succeeded = InspectOpenRepository(request);
    repository::CloseRepository();
    return succeeded ? kSuccess : kFailure;
}

}  // namespace inspect
