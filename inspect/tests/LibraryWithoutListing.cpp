// A repository library that offers the first version of the tables alone: it
// opens any repository, and refuses every later version, the listing's too.
#define KVDFILES_BUILDING_LIBRARY
#include "repository/contract/KVDFiles.h"

namespace {
IZarnRepository repository = {nullptr};
}

int32_t kvdFiles_InitLibrary(int32_t version) { return version == KVDFILES_TABLES_VERSION_1 ? 1 : 0; }
int32_t kvdFiles_ReleaseLibrary() { return 1; }
IZarnRepository* kvdFiles_GetRepository() { return &repository; }
IZarnRepository* kvdFiles_GetRepositoryFromPath(const wchar_t*) { return &repository; }
