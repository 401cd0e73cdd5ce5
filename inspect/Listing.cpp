#include "inspect/Listing.h"

#include <string_view>

#include "inspect/Escaping.h"
#include "inspect/IsoTime.h"
#include "inspect/Numbers.h"

namespace inspect {
namespace {

std::wstring_view ProblemName(StoredCopyProblem kind) {
    switch (kind) {
        case StoredCopyProblem::Missing: return L"missing";
        case StoredCopyProblem::SizeDiffers: return L"sizeDiffers";
        case StoredCopyProblem::NotAFile: return L"notAFile";
        case StoredCopyProblem::Unreadable: return L"unreadable";
    }
    return L"unreadable";
}

void AppendProblemSentence(std::wstring& out, const Problem& problem) {
    switch (problem.kind) {
        case StoredCopyProblem::Missing: out += L"stored copy missing"; return;
        case StoredCopyProblem::SizeDiffers:
            out += L"stored copy holds ";
            AppendUnsigned(out, problem.foundSize);
            out += L" bytes, index records ";
            AppendUnsigned(out, problem.entry->contentSize);
            return;
        case StoredCopyProblem::NotAFile: out += L"stored copy is not a regular file"; return;
        case StoredCopyProblem::Unreadable: out += L"stored copy cannot be examined"; return;
    }
}

void AppendJsonTime(std::wstring& out, std::int64_t microseconds) {
    out += L'"';
    AppendIsoTime(out, microseconds);
    out += L'"';
}

// Writes items as the elements of a JSON array, one per line.
template <typename Item, typename AppendItem>
void WriteJsonArray(const std::vector<Item>& items, AppendItem appendItem, OutputBuffer& output) {
    output.Text() += L'[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        output.Text() += L'\n';
        appendItem(output.Text(), items[i]);
        if (i + 1 < items.size()) output.Text() += L',';
        output.FlushWhenFull();
    }
    if (!items.empty()) output.Text() += L'\n';
    output.Text() += L']';
}

}  // namespace

void AppendTextLine(std::wstring& out, const Entry& entry) {
    AppendFieldText(out, entry.fileId);
    out += L'\t';
    AppendFieldText(out, entry.version);
    out += L'\t';
    AppendSigned(out, entry.permissions);
    out += L'\t';
    AppendUnsigned(out, entry.contentSize);
    out += L'\t';
    AppendIsoTime(out, entry.timeLastChanged);
    out += L'\t';
    AppendFieldText(out, entry.destination);
    out += L'\t';
    AppendFieldText(out, entry.description);
    out += L'\n';
}

void AppendProblemLine(std::wstring& out, const Problem& problem) {
    out += L"problem\t";
    AppendFieldText(out, problem.entry->fileId);
    out += L'\t';
    AppendFieldText(out, problem.entry->destination);
    out += L'\t';
    AppendProblemSentence(out, problem);
    out += L'\n';
}

void AppendJsonEntry(std::wstring& out, const Entry& entry) {
    out += L"{\"fileId\":";
    AppendJsonString(out, entry.fileId);
    out += L",\"version\":";
    AppendJsonString(out, entry.version);
    out += L",\"permissions\":";
    AppendSigned(out, entry.permissions);
    out += L",\"contentSize\":";
    AppendUnsigned(out, entry.contentSize);
    out += L",\"timeAdded\":";
    AppendJsonTime(out, entry.timeAdded);
    out += L",\"timeLastChanged\":";
    AppendJsonTime(out, entry.timeLastChanged);
    out += L",\"destination\":";
    AppendJsonString(out, entry.destination);
    out += L",\"description\":";
    AppendJsonString(out, entry.description);
    out += L'}';
}

void AppendJsonProblem(std::wstring& out, const Problem& problem) {
    out += L"{\"fileId\":";
    AppendJsonString(out, problem.entry->fileId);
    out += L",\"destination\":";
    AppendJsonString(out, problem.entry->destination);
    out += L",\"problem\":\"";
    out += ProblemName(problem.kind);
    out += L"\",\"recordedSize\":";
    AppendUnsigned(out, problem.entry->contentSize);
    if (problem.kind == StoredCopyProblem::SizeDiffers) {
        out += L",\"foundSize\":";
        AppendUnsigned(out, problem.foundSize);
    }
    out += L'}';
}

void WriteTextListing(const std::vector<Entry>& entries, OutputBuffer& output) {
    for (const Entry& entry : entries) {
        AppendTextLine(output.Text(), entry);
        output.FlushWhenFull();
    }
}

void WriteProblemLines(const std::vector<Problem>& problems, OutputBuffer& output) {
    for (const Problem& problem : problems) {
        AppendProblemLine(output.Text(), problem);
        output.FlushWhenFull();
    }
}

void WriteJsonDocument(const std::vector<Entry>& entries, const std::vector<Problem>* problems,
                       OutputBuffer& output) {
    output.Text() += L"{\"formatVersion\":" + std::to_wstring(kJsonFormatVersion) + L",\"entries\":";
    WriteJsonArray(entries, AppendJsonEntry, output);
    if (problems != nullptr) {
        output.Text() += L",\"problems\":";
        WriteJsonArray(*problems, AppendJsonProblem, output);
    }
    output.Text() += L"}\n";
}

std::wstring ProblemSummary(std::size_t problemCount) {
    return L"\n\nVerification found " + std::to_wstring(problemCount) +
           (problemCount == 1 ? L" problem.\n\n" : L" problems.\n\n");
}

}  // namespace inspect
