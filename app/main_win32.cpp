// Start-up on Windows: the arguments arrive as wide text, split by the C
// runtime's start-up code (no wildcard expansion).
#include "app/ConsoleProgram.h"
#include "app/EntryPoint.h"

int wmain(int argc, wchar_t** argv) {
    return app::RunConsoleProgram(
        argc, argv, [](const wchar_t* argument) { return std::wstring(argument); }, app::RunTool);
}
