// What a run of zarnrepo-inspect is asked to do, read from its options. The
// launcher asks it too, to know whether the program will read /reposDirPath.
#pragma once

#include <string>

#include "options/ArgumentMap.h"

namespace inspect {

enum class Format { Text, Json };

struct Request {
    Format format = Format::Text;
    bool verify = false;
    bool showVersion = false;
    const std::wstring* fileId = nullptr;  // the one entry to show; null for all of them
};

// False when an option the run needs is missing or has a value it does not
// take. With /version:1 nothing else is needed.
bool ReadRequest(const options::ArgumentMap& arguments, Request& request);

// Whether a run whose arguments were all stored goes on to open the repository.
bool OpensRepository(const options::ArgumentMap& arguments);

}  // namespace inspect
