// The stand-in repository library behind the four exports. Exports.cpp
// forwards each export it defines to the function of the same name here.
#pragma once

#include <cstdint>

#define KVDFILES_BUILDING_LIBRARY
#include "repository/contract/KVDFiles.h"

namespace fake_kvdfiles {

std::int32_t InitLibrary(std::int32_t version);
std::int32_t ReleaseLibrary();
IZarnRepository* GetRepository();
IZarnRepository* GetRepositoryFromPath(const wchar_t* directory);

}  // namespace fake_kvdfiles
