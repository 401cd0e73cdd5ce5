// The listing of a repository's entries and of the problems found in it, as
// tab-separated lines or as one JSON document, written as the entries come.
//
// A text line per entry: identifier, version, permissions, content size, time
// last changed, destination and description, separated by tabs, the texts
// escaped as AppendFieldText says. After them a text line per problem:
// "problem", identifier, destination and what is wrong, separated by tabs;
// then one per entry that records no checksum, "unverified" first.
//
// The JSON document: {"formatVersion":1,"entries":[...]} with one object per
// entry and line, and with verification also "problems":[...] and
// "unverified":[...], one object per problem and per unverified entry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "inspect/OutputBuffer.h"
#include "inspect/RepositoryEntries.h"
#include "inspect/Request.h"

namespace inspect {

// The version of the JSON document's layout. It goes up when a key is removed
// or changes its meaning; a key added does not change it.
inline constexpr int kJsonFormatVersion = 1;

void AppendTextLine(std::string& out, const Entry& entry);
void AppendJsonEntry(std::string& out, const Entry& entry);

class Listing {
public:
    Listing(Format format, OutputBuffer& output);

    void Add(const Entry& entry);
    // Ends the listing: the problems when the stored copies were checked
    // (problems not null), and in text the summary of those that are
    // problems. Returns how many are.
    std::size_t Finish(const std::vector<Problem>* problems);

private:
    void FinishText(const std::vector<Problem>& problems, std::size_t counted);
    void FinishJson(const std::vector<Problem>* problems);

    Format format_;
    OutputBuffer& output_;
    bool empty_ = true;
};

}  // namespace inspect
