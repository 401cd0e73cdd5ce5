// The index as a repository sees it: a base and the changes after it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvdfiles/IndexBase.h"
#include "kvdfiles/IndexChange.h"
#include "kvdfiles/IndexFormat.h"
#include "kvdfiles/IndexRecord.h"

namespace kvd {

// A validated index: a base and the changes appended to it, the last one of
// each identifier. Default-constructed, it is the index of a repository that
// has no index file yet. An image appended from another shares its base, and
// with it what either has read of the base so far; the methods that may read
// are not const.
class IndexImage {
public:
    IndexImage();

    // Checks every byte of a whole index file; nothing when any check fails.
    static std::optional<IndexImage> Parse(IndexBytes bytes);
    // Reads the header, block checksums and changes of an index file;
    // lookups read the rest as they need it.
    static IndexStatus Open(std::shared_ptr<IndexSource> source, std::uint64_t fileSize, IndexImage& image);
    // Reads and checks the whole index, as Count, EntryAt and Rewritten need.
    IndexStatus Load() { return base_->Load(); }

    std::uint64_t Generation() const { return generation_; }
    // The file this index was read from or committed as.
    const IndexFileMark& FileMark() const { return file_; }
    // Bytes of change records that follow the base in that file.
    std::uint64_t ChangesSize() const { return file_.size - base_->Size(); }
    // Whether that file is one that change records may be appended to.
    bool TakesChanges() const;

    LookupStatus Lookup(std::u16string_view id, IndexEntry& entry);
    // Lookup for an index already checked, where it cannot fail.
    std::optional<IndexEntry> Find(std::u16string_view id);
    // The entries whose destination may name a file called name (as a
    // path's last component), for the caller to compare as paths; only their
    // destinations and where those were given are filled in.
    IndexStatus DestinationsNamed(std::u16string_view name, std::vector<IndexEntry>& destinations);

    // Every entry in identifier order, for position 0 to Count() - 1. The
    // first call folds the changes into a base of their own.
    std::uint32_t Count() { return Folded().Count(); }
    IndexEntry EntryAt(std::uint32_t position) { return Folded().EntryAt(position); }

    // The change to the next generation: entry added, or replacing the entry
    // with its identifier; or the entry of id removed.
    std::optional<IndexChange> Put(const IndexEntry& entry) const;
    std::optional<IndexChange> Remove(std::u16string_view id) const;
    // The next generation as committed by appending change to this file.
    IndexImage Appended(const IndexChange& change) const;
    // The next generation as a new file holding no changes; nothing when it
    // would pass 4 GiB. Its Bytes() are that file. Needs Load().
    std::optional<IndexImage> Rewritten(const IndexChange& change) const;
    // The base only; the whole file of an index that holds no changes.
    const IndexBytes& Bytes() const { return base_->Bytes(); }

private:
    friend class IndexWalk;
    // By identifier in record form, which orders as the identifiers do.
    using Changes = std::map<std::string, std::optional<std::vector<std::uint8_t>>, std::less<>>;

    explicit IndexImage(IndexBase base);
    bool AddChanges(const IndexBytes& changes);
    std::optional<IndexChange> NextChange(std::u16string id, std::optional<std::vector<std::uint8_t>> record) const;
    std::optional<IndexBase> Fold(const Changes& changes, std::uint64_t generation) const;
    const IndexBase& Folded();

    std::shared_ptr<IndexBase> base_;
    Changes changes_;
    std::uint64_t generation_ = 0;
    IndexFileMark file_;
    std::shared_ptr<const IndexBase> folded_;
};

}  // namespace kvd
