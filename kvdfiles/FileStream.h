// The state behind one stream the library hands out: what its Read and Write
// do depends on how it was opened and on what it has done since.
#pragma once

#include <cstdint>
#include <string>

#include "kvdfiles/Repository.h"

namespace kvd {

class FileStream {
public:
    // A stream whose first Write adds entry with that content; later Writes
    // replace the content, as they would for a stream opened to write.
    FileStream(Repository& repository, NewEntry entry);
    // A stream whose Writes replace the content of the entry id.
    FileStream(Repository& repository, std::u16string id);
    // A closed stream, to be opened for reading.
    explicit FileStream(Repository& repository);
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    // A read stream's file holds nothing unwritten; closing it cannot lose data.
    ~FileStream() { Close(); }

    // Opens the stored copy of entry to Read; the stream stays closed when
    // that fails.
    Outcome OpenForReading(const IndexEntry& entry);
    // Reads up to size bytes where the last Read ended; size becomes the count
    // read, less only at the end. The read that reaches the end fails with
    // ContentDiffers when what was read is not the content the entry records.
    Outcome Read(void* buffer, std::uint32_t& size);
    // Makes content the whole content of the entry, committed on return.
    Outcome Write(Content content);
    // The size of the content read, or last written.
    std::uint64_t Size() const { return size_; }
    // Every Write committed before it returned, so nothing is left that
    // could fail.
    void Close();

private:
    enum class Mode { AddPending, Replace, Read, Closed };

    // Whether the content read whole is the entry's, as recorded at the
    // open or, after a change met in the middle, as recorded now.
    bool ReadAsRecorded() const;

    Repository& repository_;
    Mode mode_;
    IndexEntry reading_;          // Read: the entry as found when opened
    std::uint32_t checksum_ = 0;  // Read: of the bytes read so far
    NewEntry pending_;            // AddPending: the entry its first Write adds
    std::u16string id_;           // Replace: the entry whose content Write replaces
    durable::FileHandle file_;    // Read
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

}  // namespace kvd
