/*
 * Controls of the test build of the repository library (KVDFilesTesting.dll).
 * The shipped library does not have these exports.
 */
#ifndef KVDFILES_FAULT_CONTROL_H
#define KVDFILES_FAULT_CONTROL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(KVDFILES_BUILDING_LIBRARY)
#define KVDFILES_TEST_EXPORT
#elif defined(_WIN32)
#define KVDFILES_TEST_EXPORT __declspec(dllexport)
#else
#define KVDFILES_TEST_EXPORT __attribute__((visibility("default")))
#endif

/* I/O call kinds, in the order of kvd::durable::IoKind. */
enum KvdIoKind {
    KvdIoOpen,
    KvdIoRead,
    KvdIoWrite,
    KvdIoSync,
    KvdIoClose,
    KvdIoRename,
    KvdIoSyncDirectory,
    KvdIoRemove,
    KvdIoLink,
    KvdIoMakeDirectory,
    KvdIoLock,
    KvdIoTruncate,
    KvdIoStatus,
    KvdIoKindCount
};

/* Changes to the disk, in the order of kvd::faults::ChangeKind. */
enum KvdChangeKind {
    KvdChangeOpen, /* a file opened for writing, created if it was missing */
    KvdChangeWrite,
    KvdChangeTruncate,
    KvdChangeSync, /* the file's content made durable */
    KvdChangeClose,
    KvdChangeRename,
    KvdChangeSyncDirectory, /* the directory's names made durable */
    KvdChangeRemove,
    KvdChangeLink,
    KvdChangeMakeDirectory,
    KvdChangeRemoveDirectory
};

/* Paths as the system takes them: UTF-16 on Windows, bytes elsewhere. */
#ifdef _WIN32
typedef wchar_t KvdPathChar;
#else
typedef char KvdPathChar;
#endif

/* One change the library made, once it succeeded. The pointers are valid
   during the recorder's call only. */
typedef struct KvdChange {
    int32_t kind;
    const KvdPathChar* path;      /* the file or folder; Rename and Link: the existing name */
    const KvdPathChar* otherPath; /* Rename and Link: the new name */
    int64_t file;                 /* Open, Write, Truncate, Sync, Close: the open file */
    uint64_t offset;              /* Write: where; Truncate: the new size */
    const void* data;             /* Write: the bytes */
    uint64_t size;                /* Write: their count */
} KvdChange;

typedef void (*KvdChangeRecorder)(const KvdChange* change, void* context);

/* Calls recorder with every change the library makes from now on, until it
   is called with null. */
KVDFILES_TEST_EXPORT void kvdFilesTest_RecordChanges(KvdChangeRecorder recorder, void* context);

/* Fails the nth call (counting from 1, from now) of kind with the errno value
   error: only that call, or that call and every later one when persistent. */
KVDFILES_TEST_EXPORT void kvdFilesTest_FailCall(int32_t kind, uint64_t nth, int32_t error, int32_t persistent);
/* Lets the index's change records grow to bytes before a change writes a new
   index; 0 makes every change write one. */
KVDFILES_TEST_EXPORT void kvdFilesTest_LimitChanges(uint64_t bytes);
/* Removes every fault, crash point and limit and restarts the call counts. */
KVDFILES_TEST_EXPORT void kvdFilesTest_Reset(void);
/* Calls of kind since the last reset. */
KVDFILES_TEST_EXPORT uint64_t kvdFilesTest_CallCount(int32_t kind);
/* The named points of the commit sequence reached since the last reset, in
   the order first reached: the index-th one, or null past the last. */
KVDFILES_TEST_EXPORT const char* kvdFilesTest_PointReached(uint32_t index);
/* Calls of kind made before the named point was first reached since the
   last reset (all of them when it was not reached). */
KVDFILES_TEST_EXPORT uint64_t kvdFilesTest_CallCountAt(const char* point, int32_t kind);
/* The process ends with _exit(exitCode) when it reaches the named point. */
KVDFILES_TEST_EXPORT void kvdFilesTest_CrashAt(const char* point, int32_t exitCode);

#ifdef __cplusplus
}
#endif

#endif /* KVDFILES_FAULT_CONTROL_H */
