// On Windows a library may have a C runtime of its own, with its own stdout
// buffer, and the tool's stdout is in UTF-8 text mode, where narrow writes are
// not allowed. So the lines go straight to the standard output handle, with
// the CR LF the tool's text mode writes. The tool passes every message on to
// that handle before it calls the library again, so the order holds.
#include "tests/fake_kvdfiles/Output.h"

#include "fileio/WindowsHeaders.h"

namespace fake_kvdfiles {

void PrintLine(const std::string& line) {
    const std::string bytes = line + "\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace fake_kvdfiles
