// Where the stand-in prints the calls it gets: the process's standard output,
// with the platform's text line end, in order with the tool's own messages.
#pragma once

#include <string>

namespace fake_kvdfiles {

void PrintLine(const std::string& line);

}  // namespace fake_kvdfiles
