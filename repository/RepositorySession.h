// Opening and closing the repository that one run works on.
#pragma once

#include "KVDFiles.h"

namespace repository {

// Loads the library from the current directory, initialises it and opens the
// repository at /reposDirPath, or at the default location when that option is
// absent. False after printing one message.
bool OpenRepository();

// Releases and unloads the library and forgets the repository. Prints nothing.
void CloseRepository();

// The open repository, or null.
IZarnRepository* CurrentRepository();

}  // namespace repository
