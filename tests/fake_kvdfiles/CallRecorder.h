// Records the stand-in's calls, one line each, in the order they happen.
#pragma once

#include <set>
#include <string>

namespace fake_kvdfiles {

class CallRecorder {
public:
    CallRecorder(const char* logPath, std::set<std::string> markedCalls);

    // Appends the line to the log and, when its first word is marked, prints
    // it to standard output (MarkerOutput.h).
    void Record(const std::string& line) const;

private:
    bool IsMarked(const std::string& line) const;

    std::string logPath_;
    std::set<std::string> markedCalls_;
};

}  // namespace fake_kvdfiles
