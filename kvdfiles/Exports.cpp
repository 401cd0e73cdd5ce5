// The C face of the library: the four exports and the interface tables.
// Nothing thrown inside may cross this edge, so every entry point catches
// everything and turns it into a failed status (or a null object).
#define KVDFILES_BUILDING_LIBRARY
#include "repository/contract/KVDFiles.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "kvdfiles/Repository.h"
#include "kvdfiles/Utf16Text.h"

namespace kvd {
namespace {

// An interface object as the caller sees it, pointing at the library's state
// behind it. Standard layout, so the face's address is the object's.
template <typename Face, typename State>
struct Handle {
    Face face;
    State* state;
};

struct FileState;
using RepositoryHandle = Handle<IZarnRepository, Repository>;
using FileHandleObject = Handle<IZarnFile, FileState>;
using InfoHandle = Handle<IZarnFileInfo, FileState>;

struct FileState {
    Repository* repository = nullptr;
    IndexEntry entry;
    // What the info's text getters hand out.
    std::wstring path;
    std::wstring id;
    std::wstring version;
    std::wstring description;
    InfoHandle* info = nullptr;
};

enum class StreamMode { AddPending, Replace, Read, Closed };

struct StreamState {
    Repository* repository = nullptr;
    StreamMode mode = StreamMode::Closed;
    NewEntry pending;     // AddPending: the entry its first Write adds
    std::u16string id;    // Replace: the entry whose content Write replaces
    durable::FileHandle file;
    std::uint64_t size = 0;
    std::uint64_t position = 0;

    StreamState() = default;
    StreamState(const StreamState&) = delete;
    StreamState& operator=(const StreamState&) = delete;
    // A read stream's file holds nothing unwritten; closing it cannot lose data.
    ~StreamState() { durable::CloseRead(file); }
};
using StreamHandle = Handle<IZarnFileStream, StreamState>;

static_assert(std::is_standard_layout_v<RepositoryHandle> && std::is_standard_layout_v<StreamHandle> &&
              std::is_standard_layout_v<FileHandleObject> && std::is_standard_layout_v<InfoHandle>);

// Everything the library handed out, freed together by kvdFiles_ReleaseLibrary.
class Library {
public:
    std::mutex mutex;
    IZarnRepository* lastOpened = nullptr;

    template <typename T, typename... Args>
    T* Keep(Args&&... args) {
        auto object = std::make_shared<T>(std::forward<Args>(args)...);
        objects_.push_back(object);
        return object.get();
    }

    void ReleaseAll() {
        objects_.clear();
        lastOpened = nullptr;
    }

private:
    std::vector<std::shared_ptr<void>> objects_;
};

Library& TheLibrary() {
    static Library library;
    return library;
}

template <typename Face, typename State>
State* StateOf(Face* face) {
    return face != nullptr ? reinterpret_cast<Handle<Face, State>*>(face)->state : nullptr;
}

template <typename Face, typename State>
Face* NewHandle(const void* table, State* state) {
    auto* handle = TheLibrary().Keep<Handle<Face, State>>();
    handle->face.table = static_cast<decltype(handle->face.table)>(table);
    handle->state = state;
    return &handle->face;
}

template <typename Function>
KvdStatus Guarded(Function function) {
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        return static_cast<KvdStatus>(function());
    } catch (const std::bad_alloc&) {
        return static_cast<KvdStatus>(Outcome::OutOfMemory);
    } catch (...) {
        return static_cast<KvdStatus>(Outcome::InternalError);
    }
}

bool TextArgument(const wchar_t* text, std::u16string& units) {
    if (text == nullptr || !IsStorableText(text)) return false;
    units = Utf16FromWide(text);
    return true;
}

extern const IZarnFileStreamTable kStreamTable;
extern const IZarnFileTable kFileTable;
extern const IZarnFileInfoTable kInfoTable;

// Hands out the new stream through face and gives back its state.
StreamState* NewStream(Repository* repository, StreamMode mode, IZarnFileStream*& face) {
    auto* state = TheLibrary().Keep<StreamState>();
    state->repository = repository;
    state->mode = mode;
    face = NewHandle<IZarnFileStream>(&kStreamTable, state);
    return state;
}

IZarnFile* NewFile(Repository* repository, IndexEntry entry) {
    auto* state = TheLibrary().Keep<FileState>();
    state->repository = repository;
    state->path = WideFromUtf16(entry.destination);
    state->id = WideFromUtf16(entry.id);
    state->version = WideFromUtf16(entry.version);
    state->description = WideFromUtf16(entry.description);
    state->entry = std::move(entry);
    state->info = reinterpret_cast<InfoHandle*>(NewHandle<IZarnFileInfo>(&kInfoTable, state));
    return NewHandle<IZarnFile>(&kFileTable, state);
}

// IZarnRepository

KvdStatus AddFile(IZarnRepository* self, const wchar_t* fileId, const wchar_t* targetPath,
                  const wchar_t* version, const wchar_t* description, int32_t permissions,
                  IZarnFileStream** stream) {
    return Guarded([&] {
        Repository* repository = StateOf<IZarnRepository, Repository>(self);
        if (repository == nullptr || stream == nullptr || permissions < 0) return Outcome::InvalidArgument;
        NewEntry entry;
        entry.permissions = static_cast<std::uint32_t>(permissions);
        if (!TextArgument(fileId, entry.id) || !TextArgument(targetPath, entry.target) ||
            !TextArgument(version, entry.version) || !TextArgument(description, entry.description)) {
            return Outcome::InvalidArgument;
        }
        if (const Outcome check = repository->CheckNewEntry(entry); check != Outcome::Ok) return check;
        NewStream(repository, StreamMode::AddPending, *stream)->pending = std::move(entry);
        return Outcome::Ok;
    });
}

KvdStatus RemoveFile(IZarnRepository* self, const wchar_t* fileId) {
    return Guarded([&] {
        Repository* repository = StateOf<IZarnRepository, Repository>(self);
        std::u16string id;
        if (repository == nullptr || !TextArgument(fileId, id)) return Outcome::InvalidArgument;
        return repository->RemoveEntry(id);
    });
}

KvdStatus GetFile(IZarnRepository* self, const wchar_t* fileId, IZarnFile** file) {
    return Guarded([&] {
        Repository* repository = StateOf<IZarnRepository, Repository>(self);
        std::u16string id;
        if (repository == nullptr || file == nullptr || !TextArgument(fileId, id)) return Outcome::InvalidArgument;
        IndexEntry entry;
        if (const Outcome found = repository->Find(id, entry); found != Outcome::Ok) return found;
        *file = NewFile(repository, std::move(entry));
        return Outcome::Ok;
    });
}

KvdStatus GetFileCount(IZarnRepository* self, uint32_t* count) {
    return Guarded([&] {
        Repository* repository = StateOf<IZarnRepository, Repository>(self);
        if (repository == nullptr || count == nullptr) return Outcome::InvalidArgument;
        return repository->CountEntries(*count);
    });
}

KvdStatus GetFileAt(IZarnRepository* self, uint32_t index, IZarnFile** file) {
    return Guarded([&] {
        Repository* repository = StateOf<IZarnRepository, Repository>(self);
        if (repository == nullptr || file == nullptr) return Outcome::InvalidArgument;
        IndexEntry entry;
        if (const Outcome found = repository->EntryAt(index, entry); found != Outcome::Ok) return found;
        *file = NewFile(repository, std::move(entry));
        return Outcome::Ok;
    });
}

const IZarnRepositoryTable kRepositoryTable = {&AddFile, &RemoveFile, &GetFile, &GetFileCount, &GetFileAt};

// IZarnFile

Outcome OpenForReading(const FileState& file, StreamState& stream) {
    const durable::Path path = file.repository->StoredPath(file.entry.destination);
    if (durable::OpenForReading(path, stream.file)) return Outcome::IoError;
    durable::FileStatus status;
    if (durable::Status(stream.file, status)) return Outcome::IoError;
    if (status.kind != durable::FileKind::Regular) return Outcome::InvalidArgument;
    if (status.size > UINT32_MAX) return Outcome::TooLarge;
    stream.size = status.size;
    return Outcome::Ok;
}

KvdStatus OpenStream(IZarnFile* self, int32_t mode, IZarnFileStream** stream, int32_t /*reserved*/) {
    return Guarded([&] {
        FileState* file = StateOf<IZarnFile, FileState>(self);
        if (file == nullptr || stream == nullptr) return Outcome::InvalidArgument;
        if (mode == KVDFILES_OPEN_FOR_WRITING) {
            NewStream(file->repository, StreamMode::Replace, *stream)->id = file->entry.id;
            return Outcome::Ok;
        }
        if (mode != KVDFILES_OPEN_FOR_READING) return Outcome::InvalidArgument;
        IZarnFileStream* opened = nullptr;
        StreamState* state = NewStream(file->repository, StreamMode::Read, opened);
        if (const Outcome outcome = OpenForReading(*file, *state); outcome != Outcome::Ok) {
            durable::CloseRead(state->file);
            state->mode = StreamMode::Closed;
            return outcome;
        }
        *stream = opened;
        return Outcome::Ok;
    });
}

// What stands at the stored copy's place now, as a finding.
std::int32_t ExamineStoredCopy(const FileState& file, std::uint64_t& foundSize) {
    durable::FileStatus status;
    if (durable::Status(file.repository->StoredPath(file.entry.destination), status)) {
        return KVDFILES_STORED_COPY_UNREADABLE;
    }
    if (status.kind == durable::FileKind::Missing) return KVDFILES_STORED_COPY_MISSING;
    if (status.kind != durable::FileKind::Regular) return KVDFILES_STORED_COPY_NOT_A_FILE;
    foundSize = status.size;
    return status.size == file.entry.contentSize ? KVDFILES_STORED_COPY_WHOLE : KVDFILES_STORED_COPY_SIZE_DIFFERS;
}

KvdStatus CheckStoredCopy(IZarnFile* self, int32_t* finding, uint64_t* foundSize) {
    return Guarded([&] {
        const FileState* file = StateOf<IZarnFile, FileState>(self);
        if (file == nullptr || finding == nullptr || foundSize == nullptr) return Outcome::InvalidArgument;
        std::uint64_t size = 0;
        *finding = ExamineStoredCopy(*file, size);
        *foundSize = size;
        return Outcome::Ok;
    });
}

const wchar_t* GetPath(IZarnFileInfo* self);
const wchar_t* GetFileId(IZarnFileInfo* self);
const wchar_t* GetVersion(IZarnFileInfo* self);
const wchar_t* GetDescription(IZarnFileInfo* self);
int32_t GetPermissions(IZarnFileInfo* self);
uint64_t GetContentSize(IZarnFileInfo* self);
int64_t GetTimeAdded(IZarnFileInfo* self);
int64_t GetTimeLastChanged(IZarnFileInfo* self);
const IZarnFileInfoTable kInfoTable = {&GetPath,        &GetFileId,      &GetVersion,   &GetDescription,
                                       &GetPermissions, &GetContentSize, &GetTimeAdded, &GetTimeLastChanged};

// Handed out for a null object, so that GetInfo and GetPath never give null.
InfoHandle* EmptyInfo() {
    static FileState empty;
    static InfoHandle handle{{&kInfoTable}, &empty};
    return &handle;
}

IZarnFileInfo* GetInfo(IZarnFile* self) {
    FileState* file = StateOf<IZarnFile, FileState>(self);
    return file != nullptr ? &file->info->face : &EmptyInfo()->face;
}

const IZarnFileTable kFileTable = {&OpenStream, &GetInfo, &CheckStoredCopy};

// IZarnFileInfo. The fields never change once handed out, so the getters need
// no lock; the null object reads as an empty entry.

const FileState& InfoState(IZarnFileInfo* self) {
    const FileState* file = StateOf<IZarnFileInfo, FileState>(self);
    return file != nullptr ? *file : *EmptyInfo()->state;
}

const wchar_t* GetPath(IZarnFileInfo* self) { return InfoState(self).path.c_str(); }
const wchar_t* GetFileId(IZarnFileInfo* self) { return InfoState(self).id.c_str(); }
const wchar_t* GetVersion(IZarnFileInfo* self) { return InfoState(self).version.c_str(); }
const wchar_t* GetDescription(IZarnFileInfo* self) { return InfoState(self).description.c_str(); }
int32_t GetPermissions(IZarnFileInfo* self) { return static_cast<int32_t>(InfoState(self).entry.permissions); }
uint64_t GetContentSize(IZarnFileInfo* self) { return InfoState(self).entry.contentSize; }
int64_t GetTimeAdded(IZarnFileInfo* self) { return InfoState(self).entry.addedMicros; }
int64_t GetTimeLastChanged(IZarnFileInfo* self) { return InfoState(self).entry.changedMicros; }

// IZarnFileStream

KvdStatus Read(IZarnFileStream* self, void* buffer, uint32_t* size) {
    return Guarded([&] {
        StreamState* stream = StateOf<IZarnFileStream, StreamState>(self);
        if (stream == nullptr || size == nullptr || (buffer == nullptr && *size != 0)) return Outcome::InvalidArgument;
        if (stream->mode != StreamMode::Read) return Outcome::WrongState;
        const std::uint64_t wanted = std::min<std::uint64_t>(*size, stream->size - stream->position);
        std::size_t count = 0;
        if (durable::ReadAt(stream->file, stream->position, buffer, static_cast<std::size_t>(wanted), count)) {
            return Outcome::IoError;
        }
        stream->position += count;
        *size = static_cast<uint32_t>(count);
        return Outcome::Ok;
    });
}

KvdStatus Write(IZarnFileStream* self, const void* buffer, uint32_t size) {
    return Guarded([&] {
        StreamState* stream = StateOf<IZarnFileStream, StreamState>(self);
        if (stream == nullptr || (buffer == nullptr && size != 0)) return Outcome::InvalidArgument;
        const Content content{buffer, size};
        Outcome outcome = Outcome::WrongState;
        if (stream->mode == StreamMode::AddPending) {
            outcome = stream->repository->AddEntry(stream->pending, content);
            // Once added, further writes replace the content like a modify.
            if (outcome == Outcome::Ok) stream->id = stream->pending.id;
            if (outcome == Outcome::Ok) stream->mode = StreamMode::Replace;
        } else if (stream->mode == StreamMode::Replace) {
            outcome = stream->repository->ReplaceContent(stream->id, content);
        }
        if (outcome == Outcome::Ok) stream->size = size;
        return outcome;
    });
}

uint32_t GetSize(IZarnFileStream* self) {
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        const StreamState* stream = StateOf<IZarnFileStream, StreamState>(self);
        return stream != nullptr ? static_cast<uint32_t>(stream->size) : 0;
    } catch (...) {
        return 0;
    }
}

// Every write committed before its Write returned, so nothing is left here
// that could fail.
KvdStatus Close(IZarnFileStream* self, int32_t /*flag*/) {
    return Guarded([&] {
        StreamState* stream = StateOf<IZarnFileStream, StreamState>(self);
        if (stream == nullptr) return Outcome::InvalidArgument;
        durable::CloseRead(stream->file);
        stream->mode = StreamMode::Closed;
        return Outcome::Ok;
    });
}

const IZarnFileStreamTable kStreamTable = {&Read, &Write, &GetSize, &Close};

}  // namespace
}  // namespace kvd

using kvd::TheLibrary;

extern "C" {

KVDFILES_EXPORT int32_t kvdFiles_InitLibrary(int32_t version) {
    return version == KVDFILES_TABLES_VERSION_1 || version == KVDFILES_TABLES_VERSION_2 ? 1 : 0;
}

KVDFILES_EXPORT int32_t kvdFiles_ReleaseLibrary(void) {
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        TheLibrary().ReleaseAll();
        return 1;
    } catch (...) {
        return 0;
    }
}

KVDFILES_EXPORT IZarnRepository* kvdFiles_GetRepository(void) {
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        return TheLibrary().lastOpened;
    } catch (...) {
        return nullptr;
    }
}

KVDFILES_EXPORT IZarnRepository* kvdFiles_GetRepositoryFromPath(const wchar_t* directory) {
    try {
        if (directory == nullptr) return nullptr;
        const std::lock_guard lock(TheLibrary().mutex);
        std::unique_ptr<kvd::Repository> opened = kvd::Repository::Open(directory);
        if (!opened) return nullptr;
        kvd::Repository* repository = TheLibrary().Keep<std::unique_ptr<kvd::Repository>>(std::move(opened))->get();
        IZarnRepository* face = kvd::NewHandle<IZarnRepository>(&kvd::kRepositoryTable, repository);
        TheLibrary().lastOpened = face;
        return face;
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
