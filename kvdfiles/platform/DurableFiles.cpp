// The operations of DurableFiles.h that are made of the others, the same on
// every platform.
#include "kvdfiles/platform/DurableFiles.h"

namespace kvd::durable {

std::error_code RemoveIfPresent(const Path& path) {
    const std::error_code error = RemoveFile(path);
    return error == std::errc::no_such_file_or_directory ? std::error_code{} : error;
}

std::error_code MakeMissingDirectories(const Path& path, std::vector<Path>& created) {
    created.clear();
    std::vector<Path> missing;
    for (Path current = path; !current.empty(); current = current.parent_path()) {
        FileStatus status;
        if (auto error = Status(current, status)) return error;
        if (status.kind == FileKind::Directory) break;
        if (status.kind != FileKind::Missing) return std::make_error_code(std::errc::not_a_directory);
        missing.push_back(current);
        if (current == current.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (auto error = MakeDirectory(*it)) return error;
        created.push_back(*it);
        // The new directory's name lives in its parent; without this flush a
        // power loss could drop the directory and every file later put in it.
        if (auto error = SyncDirectory(ParentOf(*it))) return error;
    }
    return {};
}

}  // namespace kvd::durable
