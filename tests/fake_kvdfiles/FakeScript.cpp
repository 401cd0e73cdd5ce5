#include "tests/fake_kvdfiles/FakeScript.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace fake_kvdfiles {
namespace {

// Constant-initialised: the script is read while the library loads, before
// other files' dynamic initialisers may have run.
constexpr std::array<std::string_view, 6> kFailableOperations = {"AddFile", "RemoveFile", "GetFile",
                                                                 "OpenStream", "Read", "Write"};

bool IsFailable(const std::string& operation) {
    return std::find(kFailableOperations.begin(), kFailableOperations.end(), operation) != kFailableOperations.end();
}

void ReportBadLine(const std::string& line) {
    std::fprintf(stderr, "fake KVDFiles.dll: script line not understood: %s\n", line.c_str());
}

int HexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

bool DecodeHex(std::string_view hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

bool ParseUnsigned(const std::string& text, std::uint32_t& value) {
    try {
        std::size_t used = 0;
        const unsigned long long parsed = std::stoull(text, &used);
        if (used != text.size() || parsed > UINT32_MAX) return false;
        value = static_cast<std::uint32_t>(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseSigned(const std::string& text, std::int32_t& value) {
    try {
        std::size_t used = 0;
        value = std::stoi(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

bool ApplyFailure(const std::string& argument, Script& script) {
    std::istringstream words(argument);
    std::string operation;
    std::string status;
    std::int32_t value = 0;
    if (!(words >> operation >> status) || !IsFailable(operation)) return false;
    if (!ParseSigned(status, value)) return false;
    script.failingOperations[operation] = value;
    return true;
}

bool ApplyNumber(const std::string& argument, std::optional<std::uint32_t>& target) {
    std::uint32_t value = 0;
    if (!ParseUnsigned(argument, value)) return false;
    target = value;
    return true;
}

bool ApplyText(const std::string& argument, std::string& target) {
    target = argument;
    return true;
}

bool ApplyText(const std::string& argument, std::optional<std::string>& target) {
    target = argument;
    return true;
}

bool ApplyFlag(const std::string& argument, bool value, bool& target) {
    target = value;
    return argument.empty();
}

bool ApplyMarker(const std::string& argument, Script& script) {
    script.markedCalls.insert(argument);
    return !argument.empty();
}

// Applies one directive; false when the line is not understood.
bool ApplyDirective(const std::string& directive, const std::string& argument, Script& script) {
    if (directive == "init-result") return ParseSigned(argument, script.initResult);
    if (directive == "no-repository") return ApplyFlag(argument, false, script.returnsRepository);
    if (directive == "fail") return ApplyFailure(argument, script);
    if (directive == "content") return ApplyText(argument, script.content);
    if (directive == "content-hex") return DecodeHex(argument, script.content);
    if (directive == "size") return ApplyNumber(argument, script.reportedSize);
    if (directive == "read-count") return ApplyNumber(argument, script.reportedReadCount);
    if (directive == "path") return ApplyText(argument, script.storedPath);
    if (directive == "store-content") return ApplyFlag(argument, true, script.storesContent);
    if (directive == "touch-index") return ApplyFlag(argument, true, script.touchesIndex);
    if (directive == "marker") return ApplyMarker(argument, script);
    return false;
}

void ApplyLine(const std::string& line, Script& script) {
    if (line.empty()) return;
    const std::size_t space = line.find(' ');
    const std::string directive = line.substr(0, space);
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (!ApplyDirective(directive, argument, script)) ReportBadLine(line);
}

}  // namespace

Script LoadScript(const char* path) {
    Script script;
    if (path == nullptr) return script;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) ApplyLine(line, script);
    return script;
}

}  // namespace fake_kvdfiles
