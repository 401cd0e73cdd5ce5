// What a child process does the same on every platform: its output read,
// its input fed, its end awaited.
#include "tests/support/Process.h"

#include <array>
#include <stdexcept>

#include "tests/support/Files.h"

namespace test_support {

ChildProcess::ChildProcess(const ProcessRequest& request) {
    Start(request);
    if (!Started()) return;
    if (input_ != -1) {
        feeder_ = std::thread([this, text = request.standardInput.value_or("")] {
            WriteAll(input_, text);
            Close(input_);
        });
    }
    errorReader_ = std::thread([this] { ReadToEnd(errors_, standardError_); });
}

ChildProcess::ChildProcess(const std::vector<std::string>& commandLine)
    : ChildProcess(
          ProcessRequest{.program = commandLine.at(0), .arguments = {commandLine.begin() + 1, commandLine.end()}}) {}

ChildProcess::~ChildProcess() {
    Kill();
    Wait();
    Close(output_);
    Close(errors_);
}

bool ChildProcess::WaitForLines(int count) {
    char byte = 0;
    while (count > 0 && ReadSome(output_, &byte, 1) == 1) {
        standardOutput_ += byte;
        if (byte == '\n') --count;
    }
    return count == 0;
}

void ChildProcess::Kill() {
    if (!Started() || reaped_) return;
    KillProcess();
    killed_ = true;
}

int ChildProcess::Wait() {
    if (!Started() || reaped_) return exitCode_;
    exitCode_ = WaitForExit();
    reaped_ = true;
    if (feeder_.joinable()) feeder_.join();
    if (errorReader_.joinable()) errorReader_.join();
    return exitCode_;
}

ProcessOutcome ChildProcess::Finish() {
    ReadToEnd(output_, standardOutput_);
    const int exitCode = Wait();
    return {standardOutput_, standardError_, exitCode};
}

void ChildProcess::ReadToEnd(std::intptr_t from, std::string& sink) {
    std::array<char, 65536> chunk{};
    for (std::size_t got = 0; (got = ReadSome(from, chunk.data(), chunk.size())) != 0;) sink.append(chunk.data(), got);
}

ProcessOutcome RunProcess(const ProcessRequest& request) {
    ChildProcess child(request);
    if (!child.Started()) throw std::runtime_error("cannot start " + Utf8FromPath(request.program));
    return child.Finish();
}

std::string AsPrinted(std::string_view text) {
    std::string printed;
    for (const char byte : text) printed += byte == '\n' ? std::string(kTextLineEnd) : std::string(1, byte);
    return printed;
}

}  // namespace test_support
