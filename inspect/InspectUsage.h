#pragma once

namespace inspect {

// Prints the usage text of zarnrepo-inspect: its options and its output.
void PrintInspectUsage();

}  // namespace inspect
