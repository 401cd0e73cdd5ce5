#include "inspect/Listing.h"

#include <algorithm>
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
        case StoredCopyProblem::Unverified: return L"unverified";
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
            AppendUnsigned(out, problem.recordedSize);
            return;
        case StoredCopyProblem::NotAFile: out += L"stored copy is not a regular file"; return;
        case StoredCopyProblem::Unreadable: out += L"stored copy cannot be examined"; return;
        case StoredCopyProblem::ContentDiffers: out += L"stored copy differs from its recorded checksum"; return;
        case StoredCopyProblem::Unverified: out += L"no checksum recorded"; return;
    }
}

enum class Form { TextLine, Json };

template <std::wstring_view Entry::*text>
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

bool Counts(const Problem& problem) { return problem.kind != StoredCopyProblem::Unverified; }

void AppendProblemLine(std::wstring& out, const Problem& problem) {
    out += Counts(problem) ? L"problem\t" : L"unverified\t";
    AppendFieldText(out, problem.fileId);
    out += L'\t';
    AppendFieldText(out, problem.destination);
    out += L'\t';
    AppendProblemSentence(out, problem);
    out += L'\n';
}

void AppendJsonProblem(std::wstring& out, const Problem& problem) {
    out += L"{\"fileId\":";
    AppendJsonString(out, problem.fileId);
    out += L",\"destination\":";
    AppendJsonString(out, problem.destination);
    if (Counts(problem)) {
        out += L",\"problem\":\"";
        out += ProblemName(problem.kind);
        out += L'"';
    }
    out += L",\"recordedSize\":";
    AppendUnsigned(out, problem.recordedSize);
    if (problem.kind == StoredCopyProblem::SizeDiffers) {
        out += L",\"foundSize\":";
        AppendUnsigned(out, problem.foundSize);
    }
    out += L'}';
}

// Writes the problems that counts or does not count as a JSON array, one per
// line.
void WriteJsonProblems(const std::vector<Problem>& problems, bool counted, OutputBuffer& output) {
    output.Text() += L'[';
    bool empty = true;
    for (const Problem& problem : problems) {
        if (Counts(problem) != counted) continue;
        output.Text() += empty ? L"\n" : L",\n";
        AppendJsonProblem(output.Text(), problem);
        output.FlushWhenFull();
        empty = false;
    }
    output.Text() += empty ? L"]" : L"\n]";
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

Listing::Listing(Format format, OutputBuffer& output) : format_(format), output_(output) {
    if (format_ == Format::Json) {
        output_.Text() += L"{\"formatVersion\":" + std::to_wstring(kJsonFormatVersion) + L",\"entries\":[";
    }
}

void Listing::Add(const Entry& entry) {
    if (format_ == Format::Json) {
        output_.Text() += empty_ ? L"\n" : L",\n";
        AppendJsonEntry(output_.Text(), entry);
    } else {
        AppendTextLine(output_.Text(), entry);
    }
    empty_ = false;
    output_.FlushWhenFull();
}

std::size_t Listing::Finish(const std::vector<Problem>* problems) {
    const std::size_t counted =
        problems == nullptr ? 0 : static_cast<std::size_t>(std::count_if(problems->begin(), problems->end(), Counts));
    if (format_ == Format::Json) FinishJson(problems);
    else if (problems != nullptr) FinishText(*problems, counted);
    output_.Flush();
    return counted;
}

void Listing::FinishText(const std::vector<Problem>& problems, std::size_t counted) {
    for (const bool counts : {true, false}) {
        for (const Problem& problem : problems) {
            if (Counts(problem) != counts) continue;
            AppendProblemLine(output_.Text(), problem);
            output_.FlushWhenFull();
        }
    }
    if (counted == 0) return;
    output_.Text() += L"\n\nVerification found " + std::to_wstring(counted) +
                      (counted == 1 ? L" problem.\n\n" : L" problems.\n\n");
}

void Listing::FinishJson(const std::vector<Problem>* problems) {
    output_.Text() += empty_ ? L"]" : L"\n]";
    if (problems != nullptr) {
        output_.Text() += L",\"problems\":";
        WriteJsonProblems(*problems, true, output_);
        output_.Text() += L",\"unverified\":";
        WriteJsonProblems(*problems, false, output_);
    }
    output_.Text() += L"}\n";
}

}  // namespace inspect
