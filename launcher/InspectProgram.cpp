// The launcher installed as zarnrepo-inspect.
#include "inspect/Request.h"
#include "launcher/Launch.h"

namespace launcher {

const LaunchedProgram kLaunchedProgram = {L"zarnrepo-inspect", inspect::OpensRepository};

}  // namespace launcher
