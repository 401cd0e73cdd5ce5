// Start-up on Windows: the arguments arrive as wide text, split by the C
// runtime's start-up code (no wildcard expansion), and the console output is
// wide text.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "inspect/InspectEntryPoint.h"

namespace {

// Wide text goes out as UTF-8, so that every character of an argument prints
// whatever the code page; line ends stay CR LF (text mode). Should the mode not
// change, the output keeps the runtime's default encoding.
void SelectUnicodeOutput() { static_cast<void>(_setmode(_fileno(stdout), _O_U8TEXT)); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        SelectUnicodeOutput();
        const std::vector<std::wstring> arguments(argv, argv + argc);
        const int exitCode = inspect::RunInspect(arguments);
        return std::fflush(stdout) == 0 ? exitCode : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}
