// The listing of a repository's entries and of the problems found in it, as
// tab-separated lines or as one JSON document.
//
// A text line per entry: identifier, version, permissions, content size, time
// last changed, destination and description, separated by tabs, the texts
// escaped as AppendFieldText says. A text line per problem: "problem",
// identifier, destination and what is wrong, separated by tabs.
//
// The JSON document: {"formatVersion":1,"entries":[...]} with one object per
// entry and line, and with verification also "problems":[...], one object per
// problem.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "inspect/OutputBuffer.h"
#include "inspect/RepositoryEntries.h"

namespace inspect {

// The version of the JSON document's layout. It goes up when a key is removed
// or changes its meaning; a key added does not change it.
inline constexpr int kJsonFormatVersion = 1;

void AppendTextLine(std::wstring& out, const Entry& entry);
void AppendProblemLine(std::wstring& out, const Problem& problem);
void AppendJsonEntry(std::wstring& out, const Entry& entry);
void AppendJsonProblem(std::wstring& out, const Problem& problem);

void WriteTextListing(const std::vector<Entry>& entries, OutputBuffer& output);
void WriteProblemLines(const std::vector<Problem>& problems, OutputBuffer& output);
// problems is null when the stored copies were not checked.
void WriteJsonDocument(const std::vector<Entry>& entries, const std::vector<Problem>* problems,
                       OutputBuffer& output);

// The closing message of a text listing whose verification found problems.
std::wstring ProblemSummary(std::size_t problemCount);

}  // namespace inspect
