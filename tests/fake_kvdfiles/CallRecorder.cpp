#include "tests/fake_kvdfiles/CallRecorder.h"

#include <cstdio>
#include <utility>

#include "tests/fake_kvdfiles/FakeProtocol.h"
#include "tests/fake_kvdfiles/MarkerOutput.h"

namespace fake_kvdfiles {

CallRecorder::CallRecorder(const char* logPath, std::set<std::string> markedCalls)
    : logPath_(logPath == nullptr ? "" : logPath), markedCalls_(std::move(markedCalls)) {}

void CallRecorder::Record(const std::string& line) const {
    if (!logPath_.empty()) {
        // Opened per line so that every line is on disk whatever ends the process.
        std::FILE* log = std::fopen(logPath_.c_str(), "ab");
        if (log != nullptr) {
            std::fputs((line + "\n").c_str(), log);
            std::fclose(log);
        }
    }
    if (IsMarked(line)) PrintMarkerLine(kMarkerPrefix + line);
}

bool CallRecorder::IsMarked(const std::string& line) const {
    const std::string name = line.substr(0, line.find('('));
    return markedCalls_.count(name) != 0;
}

}  // namespace fake_kvdfiles
