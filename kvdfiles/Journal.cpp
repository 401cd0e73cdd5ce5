#include "kvdfiles/Journal.h"

#include <array>
#include <set>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"
#include "kvdfiles/Utf16Text.h"

namespace kvd {
namespace {

using durable::FileHandle;
using durable::Path;

constexpr std::array<std::uint8_t, 4> kMagic = {'K', 'V', 'D', 'J'};
constexpr std::size_t kFrameSize = 12;  // magic, payload size, checksum
constexpr std::size_t kMaxJournalSize = std::size_t{1} << 20;

void AppendPath(std::vector<std::uint8_t>& bytes, const Path& path) {
    const std::u16string units = Utf16FromWide(durable::WideFromPath(path));
    AppendU32(bytes, static_cast<std::uint32_t>(units.size()));
    for (const char16_t unit : units) AppendU16(bytes, unit);
}

std::vector<std::uint8_t> EncodePayload(const ChangeIntent& intent) {
    std::vector<std::uint8_t> payload;
    AppendU64(payload, intent.newGeneration);
    payload.push_back(static_cast<std::uint8_t>((intent.indexExisted ? 1 : 0) | (intent.destinationExisted ? 2 : 0)));
    for (const Path* path : {&intent.index, &intent.indexTemp, &intent.indexBackup, &intent.destination,
                             &intent.contentTemp, &intent.destinationBackup}) {
        AppendPath(payload, *path);
    }
    AppendU64(payload, intent.appendAt);
    AppendU32(payload, static_cast<std::uint32_t>(intent.newFolders.size()));
    for (const Path& folder : intent.newFolders) AppendPath(payload, folder);
    return payload;
}

class PayloadReader {
public:
    explicit PayloadReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    bool U32(std::uint32_t& value) {
        if (bytes_.size() - at_ < 4) return false;
        value = ReadU32(bytes_.data() + at_);
        at_ += 4;
        return true;
    }

    bool U64(std::uint64_t& value) {
        if (bytes_.size() - at_ < 8) return false;
        value = ReadU64(bytes_.data() + at_);
        at_ += 8;
        return true;
    }

    bool Byte(std::uint8_t& value) {
        if (at_ >= bytes_.size()) return false;
        value = bytes_[at_++];
        return true;
    }

    bool PathValue(Path& path) {
        std::uint32_t length = 0;
        if (!U32(length) || (bytes_.size() - at_) / 2 < length) return false;
        std::u16string units(length, u'\0');
        for (char16_t& unit : units) {
            unit = static_cast<char16_t>(ReadU16(bytes_.data() + at_));
            at_ += 2;
        }
        path = durable::PathFromWide(WideFromUtf16(units));
        return true;
    }

    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

std::optional<ChangeIntent> DecodePayload(const std::vector<std::uint8_t>& payload) {
    PayloadReader reader(payload);
    ChangeIntent intent;
    std::uint8_t flags = 0;
    if (!reader.U64(intent.newGeneration) || !reader.Byte(flags)) return std::nullopt;
    intent.indexExisted = (flags & 1) != 0;
    intent.destinationExisted = (flags & 2) != 0;
    for (Path* path : {&intent.index, &intent.indexTemp, &intent.indexBackup, &intent.destination, &intent.contentTemp,
                       &intent.destinationBackup}) {
        if (!reader.PathValue(*path)) return std::nullopt;
    }
    // Journals of writers that only ever replaced the index end here, and
    // those of writers that made no folders after the next field.
    if (!reader.AtEnd() && !reader.U64(intent.appendAt)) return std::nullopt;
    if (!reader.AtEnd()) {
        std::uint32_t count = 0;
        if (!reader.U32(count)) return std::nullopt;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!reader.PathValue(intent.newFolders.emplace_back())) return std::nullopt;
        }
    }
    if (!reader.AtEnd()) return std::nullopt;
    return intent;
}

bool SameFile(const durable::FileStatus& a, const durable::FileStatus& b) {
    return a.kind != durable::FileKind::Missing && a.kind == b.kind && a.device == b.device && a.inode == b.inode;
}

// Puts the file kept under backup back at its place; without a backup, a
// file that did not exist before the change must not exist after it.
std::error_code Restore(const Path& backup, const Path& target, bool targetExisted) {
    durable::FileStatus kept;
    durable::FileStatus current;
    if (auto error = durable::Status(backup, kept)) return error;
    if (kept.kind == durable::FileKind::Missing) {
        return targetExisted ? std::error_code{} : durable::RemoveIfPresent(target);
    }
    if (auto error = durable::Status(target, current)) return error;
    // Still the old file under both names: the change never replaced it.
    if (SameFile(kept, current)) return durable::RemoveIfPresent(backup);
    return durable::RenameOver(backup, target);
}

std::error_code RemoveAllPresent(std::initializer_list<const Path*> paths) {
    for (const Path* path : paths) {
        if (path->empty()) continue;
        if (auto error = durable::RemoveIfPresent(*path)) return error;
    }
    return {};
}

// Removes the files that are there and flushes their folders: in a folder a
// power loss may keep a later change and drop an earlier one, and a removal
// must not come back once the journal that names it is gone.
std::error_code RemoveDurably(std::initializer_list<const Path*> paths) {
    std::set<Path> folders;
    for (const Path* path : paths) {
        if (path->empty()) continue;
        const std::error_code error = durable::RemoveFile(*path);
        if (error == std::errc::no_such_file_or_directory) continue;
        if (error) return error;
        folders.insert(durable::ParentOf(*path));
    }
    for (const Path& folder : folders) {
        if (auto error = durable::SyncDirectory(folder)) return error;
    }
    return {};
}

// Removes what an uncommitted change may have appended to the index, and
// makes the cut durable before the journal that names it can go.
std::error_code CutBack(const Path& index, std::uint64_t size) {
    FileHandle file;
    if (auto error = durable::OpenExisting(index, file)) return error;
    durable::FileStatus status;
    std::error_code error = durable::Status(file, status);
    if (!error && status.size > size) error = durable::Truncate(file, size);
    if (!error) error = durable::SyncFile(file);
    const std::error_code closeError = durable::CloseWritten(file);
    return error ? error : closeError;
}

// A folder the change was to create may never have been made.
std::error_code SyncDirectoryIfPresent(const Path& directory) {
    const std::error_code error = durable::SyncDirectory(directory);
    return error == std::errc::no_such_file_or_directory ? std::error_code{} : error;
}

// Removes the folders an undone change made, innermost first, as far as
// they are empty: anything that another program put in one keeps it.
std::error_code RemoveNewFolders(const std::vector<Path>& folders) {
    std::set<Path> parents;
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        const std::error_code error = durable::RemoveDirectory(*folder);
        if (error == std::errc::no_such_file_or_directory || error == std::errc::directory_not_empty) continue;
        if (error) return error;
        parents.insert(durable::ParentOf(*folder));
    }
    for (const Path& parent : parents) {
        if (auto error = SyncDirectoryIfPresent(parent)) return error;
    }
    return {};
}

// Reads the journal; started tells whether the lock file begins like one.
std::error_code ReadWholeJournal(FileHandle lockFile, std::optional<ChangeIntent>& intent, bool& started) {
    durable::FileStatus status;
    if (auto error = durable::Status(lockFile, status)) return error;
    if (status.size < kMagic.size() || status.size > kMaxJournalSize) return {};
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(status.size));
    std::size_t count = 0;
    if (auto error = durable::ReadAt(lockFile, 0, frame.data(), frame.size(), count)) return error;
    started = count >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), frame.begin());
    if (!started || count != frame.size() || count < kFrameSize) return {};
    const std::size_t payloadSize = ReadU32(frame.data() + 4);
    if (payloadSize > frame.size() - kFrameSize) return {};
    const auto payloadBegin = frame.begin() + 8;
    const std::vector<std::uint8_t> payload(payloadBegin, payloadBegin + static_cast<std::ptrdiff_t>(payloadSize));
    if (Crc32c(payload.data(), payload.size()) != ReadU32(frame.data() + 8 + payloadSize)) return {};
    intent = DecodePayload(payload);
    return {};
}

}  // namespace

std::error_code WriteJournal(FileHandle lockFile, const ChangeIntent& intent) {
    const std::vector<std::uint8_t> payload = EncodePayload(intent);
    std::vector<std::uint8_t> frame(kMagic.begin(), kMagic.end());
    AppendU32(frame, static_cast<std::uint32_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    AppendU32(frame, Crc32c(payload.data(), payload.size()));
    // Written over the previous one without changing the file's size where it
    // fits, so that flushing it commits no metadata; what follows the frame is
    // left over from longer ones and not read.
    return durable::WriteAt(lockFile, 0, frame.data(), frame.size());
}

std::error_code ReadJournal(FileHandle lockFile, std::optional<ChangeIntent>& intent, bool* torn) {
    intent.reset();
    bool started = false;
    std::error_code error = ReadWholeJournal(lockFile, intent, started);
    if (torn != nullptr) *torn = started && !intent;
    return error;
}

std::error_code ClearJournal(FileHandle lockFile) {
    // The magic number gone, no journal is there; the size stays.
    const std::array<std::uint8_t, 4> cleared{};
    return durable::WriteAt(lockFile, 0, cleared.data(), cleared.size());
}

std::error_code Settle(const ChangeIntent& intent, bool committed) {
    // Every step is tried even when an earlier one fails, so that as much as
    // possible is undone now; the first error is reported and the journal
    // stays for the next writer.
    std::error_code first;
    auto note = [&first](std::error_code error) {
        if (!first) first = error;
    };
    if (committed) {
        note(RemoveDurably({&intent.contentTemp, &intent.indexTemp, &intent.destinationBackup, &intent.indexBackup}));
        return first;
    }
    note(RemoveAllPresent({&intent.contentTemp, &intent.indexTemp}));
    // The index first: once it is the old one again, the change is undone
    // for every reader, whatever happens to the content afterwards.
    if (intent.appendAt != 0) {
        note(CutBack(intent.index, intent.appendAt));
    } else {
        note(Restore(intent.indexBackup, intent.index, intent.indexExisted));
        note(SyncDirectoryIfPresent(intent.index.parent_path()));
    }
    // A removal never puts a file at the destination, so whatever is there
    // now is not its to delete.
    const bool putContent = !intent.contentTemp.empty();
    note(Restore(intent.destinationBackup, intent.destination, intent.destinationExisted || !putContent));
    note(SyncDirectoryIfPresent(intent.destination.parent_path()));
    note(RemoveNewFolders(intent.newFolders));
    return first;
}

}  // namespace kvd
