// Start-up on POSIX systems: the arguments arrive as bytes and become wide
// text through the reversible mapping.
#include "app/ConsoleProgram.h"
#include "app/EntryPoint.h"
#include "encoding/WideText.h"

int main(int argc, char** argv) {
    return app::RunConsoleProgram(
        argc, argv, [](const char* argument) { return encoding::WideFromBytes(argument); }, app::RunTool);
}
