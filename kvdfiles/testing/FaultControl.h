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
    KvdIoKindCount
};

/* Fails the nth call (counting from 1, from now) of kind with the errno value
   error: only that call, or that call and every later one when persistent. */
KVDFILES_TEST_EXPORT void kvdFilesTest_FailCall(int32_t kind, uint64_t nth, int32_t error,
                                                int32_t persistent);
/* Lets the index's change records grow to bytes before a change writes a new
   index; 0 makes every change write one. */
KVDFILES_TEST_EXPORT void kvdFilesTest_LimitChanges(uint64_t bytes);
/* Removes every fault, crash point and limit and restarts the call counts. */
KVDFILES_TEST_EXPORT void kvdFilesTest_Reset(void);
/* Calls of kind since the last reset. */
KVDFILES_TEST_EXPORT uint64_t kvdFilesTest_CallCount(int32_t kind);
/* The process ends with _exit(exitCode) when it reaches the named point. */
KVDFILES_TEST_EXPORT void kvdFilesTest_CrashAt(const char* point, int32_t exitCode);

#ifdef __cplusplus
}
#endif

#endif /* KVDFILES_FAULT_CONTROL_H */
