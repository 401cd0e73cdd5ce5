// On POSIX the library shares the tool's C runtime: the marker joins the
// tool's own buffered standard output, so the two keep their order.
#include "tests/fake_kvdfiles/MarkerOutput.h"

#include <cstdio>

namespace fake_kvdfiles {

void PrintMarkerLine(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

}  // namespace fake_kvdfiles
