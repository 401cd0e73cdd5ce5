// The launcher installed as zarnrepo.
#include "app/OpensRepository.h"
#include "launcher/Launch.h"

namespace launcher {

const LaunchedProgram kLaunchedProgram = {L"zarnrepo", app::OpensRepository};

}  // namespace launcher
