// The four exports of the stand-in. Each variant of the library is this file
// compiled with one FAKE_KVDFILES_WITHOUT_<export> definition, or none.
#include "tests/fake_kvdfiles/FakeLibrary.h"

#ifndef FAKE_KVDFILES_WITHOUT_InitLibrary
extern "C" int32_t kvdFiles_InitLibrary(int32_t version) { return fake_kvdfiles::InitLibrary(version); }
#endif

#ifndef FAKE_KVDFILES_WITHOUT_ReleaseLibrary
extern "C" int32_t kvdFiles_ReleaseLibrary(void) { return fake_kvdfiles::ReleaseLibrary(); }
#endif

#ifndef FAKE_KVDFILES_WITHOUT_GetRepository
extern "C" IZarnRepository* kvdFiles_GetRepository(void) { return fake_kvdfiles::GetRepository(); }
#endif

#ifndef FAKE_KVDFILES_WITHOUT_GetRepositoryFromPath
extern "C" IZarnRepository* kvdFiles_GetRepositoryFromPath(const wchar_t* directory) {
    return fake_kvdfiles::GetRepositoryFromPath(directory);
}
#endif
