// Makes many changes to a repository through the library, as the tool makes
// them, in one process: the benchmark's way to give a store the change
// records that a long life of tool runs leaves in its index.
//
// Each add is what "zarnrepo /command:addFile" does through the library: a
// fresh repository object, AddFile with the same arguments, one Write of the
// source's content, Close, and kvdFiles_ReleaseLibrary. So the index it
// leaves is the one the tool would leave. What it skips is what the tool does
// outside the library: starting a process and making its backup copies,
// which leave the index as it is.
//
// Usage: zarnrepo-bench-changes LIBRARY REPOSITORY SOURCE PREFIX FIRST COUNT
//   adds COUNT entries "PREFIX<n>" (n from FIRST, seven digits), stored at
//   "d/PREFIX<n>.dat", each holding the content of the file SOURCE.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KVDFiles.h"

namespace {

struct Library {
    kvdFiles_InitLibraryFunction init = nullptr;
    kvdFiles_ReleaseLibraryFunction release = nullptr;
    kvdFiles_GetRepositoryFromPathFunction open = nullptr;
};

bool Load(const char* path, Library& library) {
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return false;
    library.init = reinterpret_cast<kvdFiles_InitLibraryFunction>(dlsym(module, "kvdFiles_InitLibrary"));
    library.release = reinterpret_cast<kvdFiles_ReleaseLibraryFunction>(dlsym(module, "kvdFiles_ReleaseLibrary"));
    library.open =
        reinterpret_cast<kvdFiles_GetRepositoryFromPathFunction>(dlsym(module, "kvdFiles_GetRepositoryFromPath"));
    return library.init != nullptr && library.release != nullptr && library.open != nullptr;
}

std::wstring Widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string IdOf(const std::string& prefix, unsigned long number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%07lu", number);
    return prefix + digits;
}

// One add, from opening the repository to releasing the library.
bool Add(const Library& library, const std::wstring& repository, const std::string& id,
         const std::vector<char>& content) {
    IZarnRepository* opened = library.open(repository.c_str());
    bool added = false;
    if (opened != nullptr) {
        const std::wstring fileId = Widened(id);
        const std::wstring target = Widened("d/" + id + ".dat");
        IZarnFileStream* stream = nullptr;
        if (opened->table->AddFile(opened, fileId.c_str(), target.c_str(), L"1", L"benchmark entry", 3, &stream) == 0) {
            added = stream->table->Write(stream, content.data(), static_cast<std::uint32_t>(content.size())) == 0;
            stream->table->Close(stream, 1);
        }
    }
    library.release();
    return added;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "zarnrepo-bench-changes: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) return Fail("usage: zarnrepo-bench-changes LIBRARY REPOSITORY SOURCE PREFIX FIRST COUNT");
    Library library;
    if (!Load(argv[1], library) || library.init(KVDFILES_TABLES_VERSION_1) == 0) {
        return Fail(std::string("cannot load ") + argv[1]);
    }
    std::ifstream source(argv[3], std::ios::binary);
    const std::vector<char> content((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    if (!source.eof() && !source) return Fail(std::string("cannot read ") + argv[3]);
    const std::wstring repository = Widened(argv[2]);
    const std::string prefix = argv[4];
    const unsigned long first = std::strtoul(argv[5], nullptr, 10);
    const unsigned long count = std::strtoul(argv[6], nullptr, 10);
    for (unsigned long number = first; number < first + count; ++number) {
        if (!Add(library, repository, IdOf(prefix, number), content)) {
            return Fail("adding " + IdOf(prefix, number) + " failed");
        }
    }
    return 0;
}
