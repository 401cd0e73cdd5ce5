#include "inspect/Listing.h"

#include <algorithm>
#include <string_view>

#include "inspect/Escaping.h"
#include "inspect/IsoTime.h"
#include "inspect/Numbers.h"

namespace inspect {
namespace {

std::string_view ProblemName(StoredCopyProblem kind) {
    switch (kind) {
        case StoredCopyProblem::Missing: return "missing";
        case StoredCopyProblem::SizeDiffers: return "sizeDiffers";
        case StoredCopyProblem::NotAFile: return "notAFile";
        case StoredCopyProblem::Unreadable: return "unreadable";
        case StoredCopyProblem::ContentDiffers: return "contentDiffers";
        case StoredCopyProblem::Unverified: return "unverified";
    }
    return "unreadable";
}

void AppendProblemSentence(std::string& out, const Problem& problem) {
    switch (problem.kind) {
        case StoredCopyProblem::Missing: out += "stored copy missing"; return;
        case StoredCopyProblem::SizeDiffers:
            out += "stored copy holds ";
            AppendUnsigned(out, problem.foundSize);
            out += " bytes, index records ";
            AppendUnsigned(out, problem.recordedSize);
            return;
        case StoredCopyProblem::NotAFile: out += "stored copy is not a regular file"; return;
        case StoredCopyProblem::Unreadable: out += "stored copy cannot be examined"; return;
        case StoredCopyProblem::ContentDiffers: out += "stored copy differs from its recorded checksum"; return;
        case StoredCopyProblem::Unverified: out += "no checksum recorded"; return;
    }
}

enum class Form { TextLine, Json };

template <std::string_view Entry::*text>
char* PutText(char* out, const Entry& entry, Form form) {
    return form == Form::Json ? PutJsonString(out, entry.*text) : PutFieldText(out, entry.*text);
}

template <std::int64_t Entry::*time>
char* PutTime(char* out, const Entry& entry, Form form) {
    if (form == Form::Json) *out++ = '"';
    out = PutIsoTime(out, entry.*time);
    if (form == Form::Json) *out++ = '"';
    return out;
}

char* PutPermissions(char* out, const Entry& entry, Form) { return PutSigned(out, entry.permissions); }
char* PutContentSize(char* out, const Entry& entry, Form) { return PutUnsigned(out, entry.contentSize); }

// The fields of an entry in the order both forms show them, each under its
// JSON key; the text line leaves out the time added.
struct EntryField {
    std::string_view key;
    bool inTextLine;
    char* (*put)(char* out, const Entry& entry, Form form);
};

constexpr EntryField kEntryFields[] = {
    {"fileId", true, PutText<&Entry::fileId>},
    {"version", true, PutText<&Entry::version>},
    {"permissions", true, PutPermissions},
    {"contentSize", true, PutContentSize},
    {"timeAdded", false, PutTime<&Entry::timeAdded>},
    {"timeLastChanged", true, PutTime<&Entry::timeLastChanged>},
    {"destination", true, PutText<&Entry::destination>},
    {"description", true, PutText<&Entry::description>},
};

// The most an entry takes in either form: its texts escaped, its numbers and
// times, and per field its key with quotes, colon and separator.
std::size_t MostEntryBytes(const Entry& entry) {
    constexpr std::size_t kFieldsBytes = [] {
        std::size_t bytes = 2 * (kMostIsoTimeBytes + 2) + 2 * kMostNumberBytes + 1;
        for (const EntryField& field : kEntryFields) bytes += field.key.size() + 4;
        return bytes;
    }();
    return kFieldsBytes + MostEscapedBytes(entry.fileId.size()) + MostEscapedBytes(entry.version.size()) +
           MostEscapedBytes(entry.destination.size()) + MostEscapedBytes(entry.description.size());
}

bool Counts(const Problem& problem) { return problem.kind != StoredCopyProblem::Unverified; }

void AppendProblemLine(std::string& out, const Problem& problem) {
    out += Counts(problem) ? "problem\t" : "unverified\t";
    AppendFieldText(out, problem.fileId);
    out += '\t';
    AppendFieldText(out, problem.destination);
    out += '\t';
    AppendProblemSentence(out, problem);
    out += '\n';
}

void AppendJsonProblem(std::string& out, const Problem& problem) {
    out += "{\"fileId\":";
    AppendJsonString(out, problem.fileId);
    out += ",\"destination\":";
    AppendJsonString(out, problem.destination);
    if (Counts(problem)) {
        out += ",\"problem\":\"";
        out += ProblemName(problem.kind);
        out += '"';
    }
    out += ",\"recordedSize\":";
    AppendUnsigned(out, problem.recordedSize);
    if (problem.kind == StoredCopyProblem::SizeDiffers) {
        out += ",\"foundSize\":";
        AppendUnsigned(out, problem.foundSize);
    }
    out += '}';
}

// Writes the problems that counts or does not count as a JSON array, one per
// line.
void WriteJsonProblems(const std::vector<Problem>& problems, bool counted, OutputBuffer& output) {
    output.Text() += '[';
    bool empty = true;
    for (const Problem& problem : problems) {
        if (Counts(problem) != counted) continue;
        output.Text() += empty ? "\n" : ",\n";
        AppendJsonProblem(output.Text(), problem);
        output.FlushWhenFull();
        empty = false;
    }
    output.Text() += empty ? "]" : "\n]";
}

}  // namespace

void AppendTextLine(std::string& out, const Entry& entry) {
    AppendWithin(out, MostEntryBytes(entry), [&](char* at) {
        char separator = 0;
        for (const EntryField& field : kEntryFields) {
            if (!field.inTextLine) continue;
            if (separator != 0) *at++ = separator;
            at = field.put(at, entry, Form::TextLine);
            separator = '\t';
        }
        *at++ = '\n';
        return at;
    });
}

void AppendJsonEntry(std::string& out, const Entry& entry) {
    AppendWithin(out, MostEntryBytes(entry), [&](char* at) {
        char opening = '{';
        for (const EntryField& field : kEntryFields) {
            *at++ = opening;
            *at++ = '"';
            at = std::copy(field.key.begin(), field.key.end(), at);
            *at++ = '"';
            *at++ = ':';
            at = field.put(at, entry, Form::Json);
            opening = ',';
        }
        *at++ = '}';
        return at;
    });
}

Listing::Listing(Format format, OutputBuffer& output) : format_(format), output_(output) {
    if (format_ == Format::Json) {
        output_.Text() += "{\"formatVersion\":" + std::to_string(kJsonFormatVersion) + ",\"entries\":[";
    }
}

void Listing::Add(const Entry& entry) {
    if (format_ == Format::Json) {
        output_.Text() += empty_ ? "\n" : ",\n";
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
    output_.Text() +=
        "\n\nVerification found " + std::to_string(counted) + (counted == 1 ? " problem.\n\n" : " problems.\n\n");
}

void Listing::FinishJson(const std::vector<Problem>* problems) {
    output_.Text() += empty_ ? "]" : "\n]";
    if (problems != nullptr) {
        output_.Text() += ",\"problems\":";
        WriteJsonProblems(*problems, true, output_);
        output_.Text() += ",\"unverified\":";
        WriteJsonProblems(*problems, false, output_);
    }
    output_.Text() += "}\n";
}

}  // namespace inspect
