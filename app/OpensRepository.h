// The check a command line passes before the tool opens the repository. The
// launcher asks it too, to know whether the tool will read /reposDirPath.
#pragma once

#include "options/ArgumentMap.h"

namespace app {

// Whether a run whose arguments were all stored goes on to open the
// repository: it names a /command.
bool OpensRepository(const options::ArgumentMap& arguments);

}  // namespace app
