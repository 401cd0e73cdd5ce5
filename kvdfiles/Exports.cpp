// The C face of the library: the four exports and the interface tables.
// Nothing thrown inside may cross this edge, so every entry point catches
// everything and turns it into a failed status (or a null object).
#define KVDFILES_BUILDING_LIBRARY
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvdfiles/FileStream.h"
#include "kvdfiles/Repository.h"
#include "kvdfiles/Utf16Text.h"
#include "repository/contract/KVDFiles.h"

namespace kvd {
namespace {

struct FileState;
struct FileList;

// Each face of the contract and the state behind it, in this one place.
template <typename Face>
struct Behind;
template <>
struct Behind<IZarnRepository> {
    using State = Repository;
};
template <>
struct Behind<IZarnFile> {
    using State = FileState;
};
template <>
struct Behind<IZarnFileInfo> {
    using State = FileState;
};
template <>
struct Behind<IZarnFileStream> {
    using State = FileStream;
};
template <>
struct Behind<IZarnFileList> {
    using State = FileList;
};

// An interface object: the face, whose table the caller calls, and the state
// behind it.
template <typename Face>
struct Handle : Face {
    typename Behind<Face>::State* state = nullptr;
};

struct FileState {
    Repository* repository = nullptr;
    // Of a listed entry, the texts stay in the record's form (texts holds
    // them, at the spans) until something asks for them: an operation on
    // the file for the identifier and the destination (EntryOf), a getter
    // of the info for the wide texts (ShownTexts).
    struct RecordTexts {
        std::vector<std::uint8_t> bytes;
        record::Span id;
        record::Span destination;
        record::Span version;
        record::Span description;
        bool entryPending = false;
        bool widePending = false;
    } texts;
    IndexEntry entry;
    // What the info's text getters hand out.
    std::wstring path;
    std::wstring id;
    std::wstring version;
    std::wstring description;
    IZarnFileInfo* info = nullptr;
    IZarnFile* face = nullptr;
};

// A listing: the walk, the one file object that shows each entry in turn,
// and the texts of the entry NextListed gave out that are not ASCII.
struct FileList {
    FileList(const Repository& repository, FileState* shown) : walk(repository.WalkEntries()), current(shown) {}
    IndexWalk walk;
    FileState* current;
    std::string fileId;
    std::string version;
    std::string description;
    std::string path;
};

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

// Every face the library hands out is the face of a Handle.
template <typename Face>
typename Behind<Face>::State* StateOf(Face* face) {
    return face != nullptr ? static_cast<Handle<Face>*>(face)->state : nullptr;
}

template <typename Face>
Face* NewHandle(decltype(Face::table) table, typename Behind<Face>::State* state) {
    auto* handle = TheLibrary().Keep<Handle<Face>>();
    handle->table = table;
    handle->state = state;
    return handle;
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
extern const IZarnFileListTable kListTable;

// Keeps a new stream, made from arguments, and hands out its face.
template <typename... Arguments>
IZarnFileStream* NewStream(Arguments&&... arguments) {
    return NewHandle<IZarnFileStream>(&kStreamTable,
                                      TheLibrary().Keep<FileStream>(std::forward<Arguments>(arguments)...));
}

// Makes state show entry, its texts as the info's getters hand them out;
// entry is left with what state held, so that the storage of either is
// reused.
void Show(FileState& state, IndexEntry& entry) {
    Repository::AssignDestination(entry, state.path);
    AssignWideFromUtf16(entry.id, state.id);
    AssignWideFromUtf16(entry.version, state.version);
    AssignWideFromUtf16(entry.description, state.description);
    std::swap(state.entry, entry);
}

// Makes state show the record whose fields lie in bytes as view says: of
// the entry only the numbers decoded, its texts kept in the record's form
// until one asks for them (EntryOf, ShownTexts). A listing's one file state
// takes entry after entry this way, its storage reused.
void ShowRecord(FileState& state, const std::uint8_t* bytes, const record::View& view) {
    // The identifier, destination, version and description follow one
    // another in the record, each after its count.
    FileState::RecordTexts& texts = state.texts;
    const std::size_t begin = view.id.begin;
    const auto relative = [begin](record::Span span) {
        return record::Span{span.begin - begin, span.end - begin, span.ascii};
    };
    texts.bytes.assign(bytes + begin, bytes + view.description.end);
    texts.id = relative(view.id);
    texts.destination = relative(view.destination);
    texts.version = relative(view.version);
    texts.description = relative(view.description);
    texts.entryPending = true;
    texts.widePending = true;
    IndexEntry& entry = state.entry;
    entry.version.clear();
    entry.description.clear();
    record::DecodeNumbersInto(view, entry);
}

// Decodes the texts of a shown record into what the info's getters hand out.
void DecodeWideTexts(FileState& state) {
    FileState::RecordTexts& texts = state.texts;
    if (!texts.widePending) return;
    record::DecodeWideInto(texts.bytes.data(), texts.id, state.id);
    record::DecodeWideInto(texts.bytes.data(), texts.version, state.version);
    record::DecodeWideInto(texts.bytes.data(), texts.description, state.description);
    record::DecodeWideInto(texts.bytes.data(), texts.destination, state.path);
    Repository::UseLocalSeparators(state.entry.givenOnWindows, state.path);
    texts.widePending = false;
}

// The entry of state, with the texts that operations on the file use.
const IndexEntry& EntryOf(FileState& state) {
    FileState::RecordTexts& texts = state.texts;
    if (texts.entryPending) {
        record::DecodeTextInto(texts.bytes.data(), texts.id, state.entry.id);
        record::DecodeTextInto(texts.bytes.data(), texts.destination, state.entry.destination);
        texts.entryPending = false;
    }
    return state.entry;
}

FileState* NewFileState(Repository* repository) {
    auto* state = TheLibrary().Keep<FileState>();
    state->repository = repository;
    state->info = NewHandle<IZarnFileInfo>(&kInfoTable, state);
    state->face = NewHandle<IZarnFile>(&kFileTable, state);
    return state;
}

IZarnFile* NewFile(Repository* repository, IndexEntry entry) {
    FileState* state = NewFileState(repository);
    Show(*state, entry);
    return state->face;
}

// IZarnRepository

KvdStatus AddFile(IZarnRepository* self, const wchar_t* fileId, const wchar_t* targetPath, const wchar_t* version,
                  const wchar_t* description, int32_t permissions, IZarnFileStream** stream) {
    return Guarded([&] {
        Repository* repository = StateOf(self);
        if (repository == nullptr || stream == nullptr || permissions < 0) return Outcome::InvalidArgument;
        NewEntry entry;
        entry.permissions = static_cast<std::uint32_t>(permissions);
        if (!TextArgument(fileId, entry.id) || !TextArgument(targetPath, entry.target) ||
            !TextArgument(version, entry.version) || !TextArgument(description, entry.description)) {
            return Outcome::InvalidArgument;
        }
        if (const Outcome check = repository->CheckNewEntry(entry); check != Outcome::Ok) return check;
        *stream = NewStream(*repository, std::move(entry));
        return Outcome::Ok;
    });
}

KvdStatus RemoveFile(IZarnRepository* self, const wchar_t* fileId) {
    return Guarded([&] {
        Repository* repository = StateOf(self);
        std::u16string id;
        if (repository == nullptr || !TextArgument(fileId, id)) return Outcome::InvalidArgument;
        return repository->RemoveEntry(id);
    });
}

KvdStatus GetFile(IZarnRepository* self, const wchar_t* fileId, IZarnFile** file) {
    return Guarded([&] {
        Repository* repository = StateOf(self);
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
        Repository* repository = StateOf(self);
        if (repository == nullptr || count == nullptr) return Outcome::InvalidArgument;
        return repository->CountEntries(*count);
    });
}

KvdStatus GetFileAt(IZarnRepository* self, uint32_t index, IZarnFile** file) {
    return Guarded([&] {
        Repository* repository = StateOf(self);
        if (repository == nullptr || file == nullptr) return Outcome::InvalidArgument;
        IndexEntry entry;
        if (const Outcome found = repository->EntryAt(index, entry); found != Outcome::Ok) return found;
        *file = NewFile(repository, std::move(entry));
        return Outcome::Ok;
    });
}

KvdStatus ListFiles(IZarnRepository* self, IZarnFileList** list) {
    return Guarded([&] {
        Repository* repository = StateOf(self);
        if (repository == nullptr || list == nullptr) return Outcome::InvalidArgument;
        auto* state = TheLibrary().Keep<FileList>(*repository, NewFileState(repository));
        *list = NewHandle<IZarnFileList>(&kListTable, state);
        return Outcome::Ok;
    });
}

const IZarnRepositoryTable kRepositoryTable = {&AddFile, &RemoveFile, &GetFile, &GetFileCount, &GetFileAt, &ListFiles};

// IZarnFileList

// Moves the listing self on to its next entry, shows it in the listing's
// file state, and hands the record, its fields where view says, to then;
// *out is cleared first, and stays so at the end or where the walk fails.
template <typename Out, typename Then>
KvdStatus WalkOn(IZarnFileList* self, Out* out, Then then) {
    return Guarded([&] {
        FileList* list = StateOf(self);
        if (list == nullptr || out == nullptr) return Outcome::InvalidArgument;
        *out = {};
        const std::uint8_t* bytes = nullptr;
        record::View view;
        if (!list->walk.Next(bytes, view)) return OutcomeOf(list->walk.Status());
        ShowRecord(*list->current, bytes, view);
        then(*list, bytes, view);
        return Outcome::Ok;
    });
}

KvdStatus Next(IZarnFileList* self, IZarnFile** file) {
    return WalkOn(self, file, [file](FileList& list, const std::uint8_t*, const record::View&) {
        DecodeWideTexts(*list.current);
        *file = list.current->face;
    });
}

// A text of the record in bytes as UTF-8: an ASCII one where it lies, any
// other converted into storage.
void PutUtf8(const std::uint8_t* bytes, record::Span span, std::string& storage, const char*& text, uint32_t& size) {
    std::string_view utf8;
    if (span.ascii) {
        utf8 = {reinterpret_cast<const char*>(bytes + span.begin), span.end - span.begin};
    } else {
        record::DecodeUtf8Into(bytes, span, storage);
        utf8 = storage;
    }
    text = utf8.data();
    size = static_cast<uint32_t>(utf8.size());
}

// The destination as GetPath gives it, as UTF-8.
void PutPath(const std::uint8_t* bytes, const record::View& view, std::string& storage, KvdListedEntry& entry) {
    if (!view.givenOnWindows) return PutUtf8(bytes, view.destination, storage, entry.path, entry.pathSize);
    record::DecodeUtf8Into(bytes, view.destination, storage);
    Repository::UseLocalSeparators(true, storage);
    entry.path = storage.data();
    entry.pathSize = static_cast<uint32_t>(storage.size());
}

KvdStatus NextListed(IZarnFileList* self, KvdListedEntry* entry) {
    return WalkOn(self, entry, [entry](FileList& list, const std::uint8_t* bytes, const record::View& view) {
        PutUtf8(bytes, view.id, list.fileId, entry->fileId, entry->fileIdSize);
        PutUtf8(bytes, view.version, list.version, entry->version, entry->versionSize);
        PutUtf8(bytes, view.description, list.description, entry->description, entry->descriptionSize);
        PutPath(bytes, view, list.path, *entry);
        entry->permissions = static_cast<int32_t>(view.permissions);
        entry->contentSize = view.contentSize;
        entry->timeAdded = view.addedMicros;
        entry->timeLastChanged = view.changedMicros;
        entry->file = list.current->face;
    });
}

const IZarnFileListTable kListTable = {&Next, &NextListed};

// IZarnFile

KvdStatus OpenStream(IZarnFile* self, int32_t mode, IZarnFileStream** stream, int32_t /*reserved*/) {
    return Guarded([&] {
        FileState* file = StateOf(self);
        if (file == nullptr || stream == nullptr) return Outcome::InvalidArgument;
        if (mode == KVDFILES_OPEN_FOR_WRITING) {
            *stream = NewStream(*file->repository, EntryOf(*file).id);
            return Outcome::Ok;
        }
        if (mode != KVDFILES_OPEN_FOR_READING) return Outcome::InvalidArgument;
        auto* reader = TheLibrary().Keep<FileStream>(*file->repository);
        if (const Outcome opened = reader->OpenForReading(EntryOf(*file)); opened != Outcome::Ok) return opened;
        *stream = NewHandle<IZarnFileStream>(&kStreamTable, reader);
        return Outcome::Ok;
    });
}

std::int32_t FindingOf(StoredCopy found) {
    switch (found) {
        case StoredCopy::Whole: return KVDFILES_STORED_COPY_WHOLE;
        case StoredCopy::Missing: return KVDFILES_STORED_COPY_MISSING;
        case StoredCopy::SizeDiffers: return KVDFILES_STORED_COPY_SIZE_DIFFERS;
        case StoredCopy::NotAFile: return KVDFILES_STORED_COPY_NOT_A_FILE;
        case StoredCopy::ContentDiffers: return KVDFILES_STORED_COPY_CONTENT_DIFFERS;
        case StoredCopy::Unverified: return KVDFILES_STORED_COPY_UNVERIFIED;
        case StoredCopy::Unreadable: break;
    }
    return KVDFILES_STORED_COPY_UNREADABLE;
}

KvdStatus CheckStoredCopy(IZarnFile* self, int32_t* finding, uint64_t* foundSize) {
    return Guarded([&] {
        FileState* file = StateOf(self);
        if (file == nullptr || finding == nullptr || foundSize == nullptr) return Outcome::InvalidArgument;
        std::uint64_t size = 0;
        *finding = FindingOf(file->repository->ExamineStoredCopy(EntryOf(*file), size));
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
IZarnFileInfo* EmptyInfo() {
    static FileState empty;
    static Handle<IZarnFileInfo> handle{{&kInfoTable}, &empty};
    return &handle;
}

IZarnFileInfo* GetInfo(IZarnFile* self) {
    const FileState* file = StateOf(self);
    return file != nullptr ? file->info : EmptyInfo();
}

const IZarnFileTable kFileTable = {&OpenStream, &GetInfo, &CheckStoredCopy};

// IZarnFileInfo. The fields of a file never change once handed out, so the
// getters of numbers need no lock; those of texts take it, for the texts of
// a listed entry are decoded when first asked for. The null object reads as
// an empty entry.

const FileState& InfoState(IZarnFileInfo* self) {
    const FileState* file = StateOf(self);
    return file != nullptr ? *file : *StateOf(EmptyInfo());
}

// The state of self with its wide texts decoded; where memory runs out they
// read as empty.
const FileState& ShownTexts(IZarnFileInfo* self) {
    FileState* file = StateOf(self);
    if (file == nullptr) return InfoState(self);
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        DecodeWideTexts(*file);
    } catch (...) {
        for (std::wstring* text : {&file->path, &file->id, &file->version, &file->description}) text->clear();
    }
    return *file;
}

const wchar_t* GetPath(IZarnFileInfo* self) { return ShownTexts(self).path.c_str(); }
const wchar_t* GetFileId(IZarnFileInfo* self) { return ShownTexts(self).id.c_str(); }
const wchar_t* GetVersion(IZarnFileInfo* self) { return ShownTexts(self).version.c_str(); }
const wchar_t* GetDescription(IZarnFileInfo* self) { return ShownTexts(self).description.c_str(); }
int32_t GetPermissions(IZarnFileInfo* self) { return static_cast<int32_t>(InfoState(self).entry.permissions); }
uint64_t GetContentSize(IZarnFileInfo* self) { return InfoState(self).entry.contentSize; }
int64_t GetTimeAdded(IZarnFileInfo* self) { return InfoState(self).entry.addedMicros; }
int64_t GetTimeLastChanged(IZarnFileInfo* self) { return InfoState(self).entry.changedMicros; }

// IZarnFileStream

KvdStatus Read(IZarnFileStream* self, void* buffer, uint32_t* size) {
    return Guarded([&] {
        FileStream* stream = StateOf(self);
        if (stream == nullptr || size == nullptr || (buffer == nullptr && *size != 0)) return Outcome::InvalidArgument;
        return stream->Read(buffer, *size);
    });
}

KvdStatus Write(IZarnFileStream* self, const void* buffer, uint32_t size) {
    return Guarded([&] {
        FileStream* stream = StateOf(self);
        if (stream == nullptr || (buffer == nullptr && size != 0)) return Outcome::InvalidArgument;
        return stream->Write({buffer, size});
    });
}

uint32_t GetSize(IZarnFileStream* self) {
    try {
        const std::lock_guard lock(TheLibrary().mutex);
        const FileStream* stream = StateOf(self);
        return stream != nullptr ? static_cast<uint32_t>(stream->Size()) : 0;
    } catch (...) {
        return 0;
    }
}

KvdStatus Close(IZarnFileStream* self, int32_t /*flag*/) {
    return Guarded([&] {
        FileStream* stream = StateOf(self);
        if (stream == nullptr) return Outcome::InvalidArgument;
        stream->Close();
        return Outcome::Ok;
    });
}

const IZarnFileStreamTable kStreamTable = {&Read, &Write, &GetSize, &Close};

}  // namespace
}  // namespace kvd

using kvd::TheLibrary;

extern "C" {

KVDFILES_EXPORT int32_t kvdFiles_InitLibrary(int32_t version) {
    return version >= KVDFILES_TABLES_VERSION_1 && version <= KVDFILES_TABLES_VERSION_4 ? 1 : 0;
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
