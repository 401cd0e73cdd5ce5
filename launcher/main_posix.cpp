// Start-up of a launcher: the arguments arrive as bytes and become wide text
// through the reversible mapping, so that they reach the program unchanged.
#include "app/ConsoleProgram.h"
#include "encoding/WideText.h"
#include "launcher/Launch.h"

namespace {

int LaunchThisProgram(std::span<const std::wstring> arguments) {
    return launcher::Launch(arguments, launcher::kLaunchedProgram);
}

}  // namespace

int main(int argc, char** argv) {
    return app::RunConsoleProgram(
        argc, argv, [](const char* argument) { return encoding::WideFromBytes(argument); }, LaunchThisProgram);
}
