/*
 * The contract between the zarnrepo tool and a repository library "KVDFiles.dll".
 *
 * This header is complete on its own: a library that exports the four functions
 * below and hands out objects laid out as described here can stand in for any
 * other. It is plain C so that any compiler can build either side.
 *
 * Conventions
 *   - Texts are zero-terminated wide-character strings owned by the caller and
 *     valid only during the call.
 *   - Sizes are 32-bit unsigned byte counts; other numbers are 32-bit integers.
 *   - Operations return a KvdStatus: 0 for success, anything else for failure.
 *     After success an out-argument holds a valid object, never null.
 *   - Every interface object begins with a pointer to its table of functions;
 *     each function takes the object itself as its first argument. New
 *     operations are only ever appended to the end of a table.
 *   - Objects handed out belong to the library. The caller never releases them;
 *     kvdFiles_ReleaseLibrary frees everything the library handed out.
 *
 * Versions of the tables
 *   Version 1 is the tables up to and including the operations the zarnrepo
 *   tool calls (AddFile .. GetFile, OpenStream and GetInfo, GetPath, Read ..
 *   Close). Version 2 appends the operations that list a repository's entries,
 *   read each entry's fields and check its stored copy; each is marked
 *   "Version 2" below. A caller that uses them first asks
 *   kvdFiles_InitLibrary(2): a library that returns zero there has tables of
 *   version 1 only, and nothing past their version-1 operations may be read.
 *   Version 3 appends ListFiles, a listing read front to back as it is
 *   walked (marked "Version 3"); kvdFiles_InitLibrary(3) tells whether the
 *   tables hold it. Version 4 appends NextListed, which walks that listing
 *   handing out each entry's fields at once, its texts as UTF-8 (marked
 *   "Version 4"); kvdFiles_InitLibrary(4) tells whether the tables hold it.
 */
#ifndef KVDFILES_CONTRACT_H
#define KVDFILES_CONTRACT_H

#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A library defines KVDFILES_BUILDING_LIBRARY before including this header. */
#if !defined(KVDFILES_BUILDING_LIBRARY)
#define KVDFILES_EXPORT
#elif defined(_WIN32)
#define KVDFILES_EXPORT __declspec(dllexport)
#else
#define KVDFILES_EXPORT __attribute__((visibility("default")))
#endif

/* The library file's name, the same on every platform. */
#define KVDFILES_LIBRARY_FILE_NAME L"KVDFiles.dll"

/* The repository's index file, kept in the repository directory. */
#define KVDFILES_INDEX_FILE_NAME L"ZarnRepository.bin"

typedef int32_t KvdStatus;

#define KVDFILES_OPEN_FOR_WRITING 0 /* OpenStream: a Write replaces the whole content */
#define KVDFILES_OPEN_FOR_READING 1 /* OpenStream: Read and GetSize give the content */

/* kvdFiles_InitLibrary: the versions of the tables a caller may ask for. */
#define KVDFILES_TABLES_VERSION_1 1
#define KVDFILES_TABLES_VERSION_2 2
#define KVDFILES_TABLES_VERSION_3 3
#define KVDFILES_TABLES_VERSION_4 4

/* CheckStoredCopy: what stands at the place of an entry's stored copy. */
#define KVDFILES_STORED_COPY_WHOLE 0           /* a regular file of the recorded size and checksum */
#define KVDFILES_STORED_COPY_MISSING 1         /* nothing at all */
#define KVDFILES_STORED_COPY_SIZE_DIFFERS 2    /* a regular file of another size */
#define KVDFILES_STORED_COPY_NOT_A_FILE 3      /* a directory or another kind of file */
#define KVDFILES_STORED_COPY_UNREADABLE 4      /* the place could not be examined (no access, an I/O error) */
#define KVDFILES_STORED_COPY_CONTENT_DIFFERS 5 /* of the recorded size, but not of the recorded checksum */
#define KVDFILES_STORED_COPY_UNVERIFIED 6      /* of the recorded size; the entry has no checksum to check */

typedef struct IZarnRepository IZarnRepository;
typedef struct IZarnFile IZarnFile;
typedef struct IZarnFileInfo IZarnFileInfo;
typedef struct IZarnFileStream IZarnFileStream;
typedef struct IZarnFileList IZarnFileList;

typedef struct IZarnRepositoryTable {
    /* Registers a new file; its content arrives through the returned stream's Write. */
    KvdStatus (*AddFile)(IZarnRepository* self, const wchar_t* fileId, const wchar_t* targetPath,
                         const wchar_t* version, const wchar_t* description, int32_t permissions,
                         IZarnFileStream** stream);
    KvdStatus (*RemoveFile)(IZarnRepository* self, const wchar_t* fileId);
    /* Fails when no file has the identifier. */
    KvdStatus (*GetFile)(IZarnRepository* self, const wchar_t* fileId, IZarnFile** file);
    /* Version 2. The number of entries in the index as this repository object
       knows it: as read when it was opened, or as written by its own last
       change. Changes made through other objects or processes since then are
       not seen, so a walk with GetFileAt sees one consistent index. The
       first call reads whatever of that index file lookups have not read yet
       (the same file, even if another has taken its name since), and fails
       when any of it is damaged. */
    KvdStatus (*GetFileCount)(IZarnRepository* self, uint32_t* count);
    /* Version 2. The entry at position index (0 to count - 1) of that same
       index, in identifier order: identifiers compared code unit by code
       unit as unsigned numbers, in UTF-16. Fails for a position past the end.
       Reads nothing from disk after GetFileCount. */
    KvdStatus (*GetFileAt)(IZarnRepository* self, uint32_t index, IZarnFile** file);
    /* Version 3. A listing of the same entries as GetFileCount's, in the
       same order, read from the same index file as it is walked, a piece at
       a time: a listing of any size without the index in memory. */
    KvdStatus (*ListFiles)(IZarnRepository* self, IZarnFileList** list);
} IZarnRepositoryTable;

struct IZarnRepository {
    const IZarnRepositoryTable* table;
};

typedef struct IZarnFileTable {
    /* mode: KVDFILES_OPEN_FOR_READING or KVDFILES_OPEN_FOR_WRITING; reserved: always -1. */
    KvdStatus (*OpenStream)(IZarnFile* self, int32_t mode, IZarnFileStream** stream, int32_t reserved);
    /* Never null. */
    IZarnFileInfo* (*GetInfo)(IZarnFile* self);
    /* Version 2. Examines the place of the entry's stored copy, as it stands
       now, and sets *finding to one of KVDFILES_STORED_COPY_*: a regular file
       of the recorded size is read whole and checked against the recorded
       checksum. *foundSize is the size of the regular file found there
       (WHOLE, SIZE_DIFFERS, CONTENT_DIFFERS, UNVERIFIED), else 0.
       A problem with the stored copy is a finding, not a failed status; the
       status fails only when the check could not be made at all (a null
       argument, no memory). */
    KvdStatus (*CheckStoredCopy)(IZarnFile* self, int32_t* finding, uint64_t* foundSize);
} IZarnFileTable;

struct IZarnFile {
    const IZarnFileTable* table;
};

typedef struct IZarnFileInfoTable {
    /* The stored copy's path as it was given when the file was added; relative
       paths start at the repository directory. Never null; owned by the library. */
    const wchar_t* (*GetPath)(IZarnFileInfo* self);
    /* Version 2: the entry's fields as the index records them. Texts are
       zero-terminated, never null, owned by the library and valid until
       kvdFiles_ReleaseLibrary. Times are microseconds since
       1970-01-01T00:00:00Z (UTC), negative before it. */
    const wchar_t* (*GetFileId)(IZarnFileInfo* self);
    const wchar_t* (*GetVersion)(IZarnFileInfo* self);
    const wchar_t* (*GetDescription)(IZarnFileInfo* self);
    int32_t (*GetPermissions)(IZarnFileInfo* self);
    /* The content size recorded when the content was last written. */
    uint64_t (*GetContentSize)(IZarnFileInfo* self);
    /* When the entry was added. */
    int64_t (*GetTimeAdded)(IZarnFileInfo* self);
    /* When its content was last written: by the add, or by the last modify. */
    int64_t (*GetTimeLastChanged)(IZarnFileInfo* self);
} IZarnFileInfoTable;

struct IZarnFileInfo {
    const IZarnFileInfoTable* table;
};

typedef struct IZarnFileStreamTable {
    /* size: in, the buffer's size; out, the number of bytes stored in it.
       One call reads the whole content. The read that reaches the end of the
       content fails when the content is not what the library recorded when
       it was last written (its checksum differs). */
    KvdStatus (*Read)(IZarnFileStream* self, void* buffer, uint32_t* size);
    /* One call carries the whole content. */
    KvdStatus (*Write)(IZarnFileStream* self, const void* buffer, uint32_t size);
    /* The content's size in bytes (not a status). */
    uint32_t (*GetSize)(IZarnFileStream* self);
    /* flag: always 1. The result carries no meaning for the caller. */
    KvdStatus (*Close)(IZarnFileStream* self, int32_t flag);
} IZarnFileStreamTable;

struct IZarnFileStream {
    const IZarnFileStreamTable* table;
};

/* Version 4. An entry of a listing as NextListed fills it; the caller owns
   the struct. Each text is UTF-8 (a byte count, no terminating zero), owned
   by the library and valid until the next call on the listing. A surrogate
   that is not half of a pair (a Windows name can hold one) is written as the
   three bytes its value would take; a pair is one four-byte character. */
typedef struct KvdListedEntry {
    /* The listing's own object, as Next gives it; null at the end. */
    IZarnFile* file;
    const char* fileId;
    uint32_t fileIdSize;
    const char* version;
    uint32_t versionSize;
    const char* description;
    uint32_t descriptionSize;
    /* As GetPath gives it: folders separated the way this system does. */
    const char* path;
    uint32_t pathSize;
    int32_t permissions;
    uint64_t contentSize;
    int64_t timeAdded;       /* as GetTimeAdded */
    int64_t timeLastChanged; /* as GetTimeLastChanged */
} KvdListedEntry;

typedef struct IZarnFileListTable {
    /* Version 3. The next entry of the listing: *file is the listing's own
       object, which the next call changes; at the end, *file is null and
       the status 0. Fails, from then on, where the index is damaged. */
    KvdStatus (*Next)(IZarnFileList* self, IZarnFile** file);
    /* Version 4. The same walk as Next, the two mixed as the caller likes:
       each call moves the listing on by one entry and fills *entry with its
       fields. entry->file is the object Next would give, which the next
       call changes. At the end, entry->file is null and the status 0. Fails,
       from then on, where the index is damaged. */
    KvdStatus (*NextListed)(IZarnFileList* self, KvdListedEntry* entry);
} IZarnFileListTable;

struct IZarnFileList {
    const IZarnFileListTable* table;
};

/* The four exports. Their names are the type names without the "Function" suffix. */

/* Called once after loading, with 1. Nonzero means success. A caller that uses
   the operations of version 2 calls it (again) with KVDFILES_TABLES_VERSION_2;
   nonzero means the tables hold them. */
typedef int32_t (*kvdFiles_InitLibraryFunction)(int32_t version);
/* Called once at the end of a run that opened a repository. */
typedef int32_t (*kvdFiles_ReleaseLibraryFunction)(void);
/* The repository opened last, or null. */
typedef IZarnRepository* (*kvdFiles_GetRepositoryFunction)(void);
/* Opens the repository in a directory; null on failure. */
typedef IZarnRepository* (*kvdFiles_GetRepositoryFromPathFunction)(const wchar_t* directory);

KVDFILES_EXPORT int32_t kvdFiles_InitLibrary(int32_t version);
KVDFILES_EXPORT int32_t kvdFiles_ReleaseLibrary(void);
KVDFILES_EXPORT IZarnRepository* kvdFiles_GetRepository(void);
KVDFILES_EXPORT IZarnRepository* kvdFiles_GetRepositoryFromPath(const wchar_t* directory);

#ifdef __cplusplus
}
#endif

#endif /* KVDFILES_CONTRACT_H */
