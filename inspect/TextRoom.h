// Writing at the end of a string through a plain pointer: room is made for
// the most a writer may write, the writer returns where it stopped, and the
// string is cut back to that.
#pragma once

#include <cstddef>
#include <string>

namespace inspect {

// write takes the char* to write at and returns the end of what it wrote, at
// most most bytes further.
template <typename Write>
void AppendWithin(std::string& out, std::size_t most, Write write) {
    const std::size_t start = out.size();
    out.resize(start + most);
    const char* const end = write(out.data() + start);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace inspect
