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
        case StoredCopyProblem::ContentDiffers: return L"contentDiffers";
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
        case StoredCopyProblem::ContentDiffers: out += L"stored copy differs from its recorded checksum"; return;
    }
}

enum class Form { TextLine, Json };

template <std::wstring Entry::*text>
void AppendText(std::wstring& out, const Entry& entry, Form form) {
    if (form == Form::Json) AppendJsonString(out, entry.*text);
    else AppendFieldText(out, entry.*text);
}

template <std::int64_t Entry::*time>
void AppendTime(std::wstring& out, const Entry& entry, Form form) {
    if (form == Form::Json) out += L'"';
    AppendIsoTime(out, entry.*time);
    if (form == Form::Json) out += L'"';
}

void AppendPermissions(std::wstring& out, const Entry& entry, Form) { AppendSigned(out, entry.permissions); }
void AppendContentSize(std::wstring& out, const Entry& entry, Form) { AppendUnsigned(out, entry.contentSize); }

// The fields of an entry in the order both forms show them, each under its
// JSON key; the text line leaves out the time added.
struct EntryField {
    std::wstring_view key;
    bool inTextLine;
    void (*append)(std::wstring& out, const Entry& entry, Form form);
};

constexpr EntryField kEntryFields[] = {
    {L"fileId", true, AppendText<&Entry::fileId>},
    {L"version", true, AppendText<&Entry::version>},
    {L"permissions", true, AppendPermissions},
    {L"contentSize", true, AppendContentSize},
    {L"timeAdded", false, AppendTime<&Entry::timeAdded>},
    {L"timeLastChanged", true, AppendTime<&Entry::timeLastChanged>},
    {L"destination", true, AppendText<&Entry::destination>},
    {L"description", true, AppendText<&Entry::description>},
};

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
    std::wstring_view separator;
    for (const EntryField& field : kEntryFields) {
        if (!field.inTextLine) continue;
        out += separator;
        field.append(out, entry, Form::TextLine);
        separator = L"\t";
    }
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
    wchar_t opening = L'{';
    for (const EntryField& field : kEntryFields) {
        out += opening;
        out += L'"';
        out += field.key;
        out += L"\":";
        field.append(out, entry, Form::Json);
        opening = L',';
    }
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
