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

typedef struct IZarnRepository IZarnRepository;
typedef struct IZarnFile IZarnFile;
typedef struct IZarnFileInfo IZarnFileInfo;
typedef struct IZarnFileStream IZarnFileStream;

typedef struct IZarnRepositoryTable {
    /* Registers a new file; its content arrives through the returned stream's Write. */
    KvdStatus (*AddFile)(IZarnRepository* self, const wchar_t* fileId, const wchar_t* targetPath,
                         const wchar_t* version, const wchar_t* description, int32_t permissions,
                         IZarnFileStream** stream);
    KvdStatus (*RemoveFile)(IZarnRepository* self, const wchar_t* fileId);
    /* Fails when no file has the identifier. */
    KvdStatus (*GetFile)(IZarnRepository* self, const wchar_t* fileId, IZarnFile** file);
} IZarnRepositoryTable;

struct IZarnRepository {
    const IZarnRepositoryTable* table;
};

typedef struct IZarnFileTable {
    /* mode: KVDFILES_OPEN_FOR_READING or KVDFILES_OPEN_FOR_WRITING; reserved: always -1. */
    KvdStatus (*OpenStream)(IZarnFile* self, int32_t mode, IZarnFileStream** stream, int32_t reserved);
    /* Never null. */
    IZarnFileInfo* (*GetInfo)(IZarnFile* self);
} IZarnFileTable;

struct IZarnFile {
    const IZarnFileTable* table;
};

typedef struct IZarnFileInfoTable {
    /* The stored copy's path as it was given when the file was added; relative
       paths start at the repository directory. Never null; owned by the library. */
    const wchar_t* (*GetPath)(IZarnFileInfo* self);
} IZarnFileInfoTable;

struct IZarnFileInfo {
    const IZarnFileInfoTable* table;
};

typedef struct IZarnFileStreamTable {
    /* size: in, the buffer's size; out, the number of bytes stored in it.
       One call reads the whole content. */
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

/* The four exports. Their names are the type names without the "Function" suffix. */

/* Called once after loading, with 1. Nonzero means success. */
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
