// The four command handlers. Each reads its options from the argument map,
// works on the open repository, prints one message at its first failure and
// returns whether the command succeeded.
#pragma once

namespace commands {

bool RunGetFile();
bool RunAddFile();
bool RunModifyFile();
bool RunDeleteFile();

}  // namespace commands
