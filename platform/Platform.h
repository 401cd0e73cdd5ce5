// What the tool needs from the operating system besides files: the console,
// the current directory, the repository library's loading and the machine's
// settings. Files are the shared file layer's (fileio/FileIo.h).
//
// Platform_posix.cpp and Platform_win32.cpp implement this header; CMake picks
// one. Nothing outside those files includes a system header of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The separator the platform puts between the parts of a path.
extern const wchar_t kPathSeparator;

// Readies standard output for PrintText; called once at start-up.
void PrepareConsoleOutput();

// Writes wide text to standard output in the platform's byte encoding,
// byte-exact for text that came from the command line.
void PrintText(std::wstring_view text);
// Writes text that is UTF-8 already to standard output, as PrintText would
// write the same characters.
void PrintUtf8(std::string_view text);

// Reads the whole current directory; false when it cannot be read whole.
bool ReadCurrentDirectory(std::wstring& directory);
// A relative directory is resolved against the current one.
bool ChangeCurrentDirectory(const std::wstring& directory);

bool IsRelativePath(std::wstring_view path);

// Asks the system to back the memory of a large buffer, fresh from malloc,
// with its largest pages where it can: a file's whole content then faults in
// a few hundred times instead of once per small page. Only advice; nothing
// fails where the system ignores it or has no such pages.
void AdviseLargePages(void* bytes, std::size_t size);

// A library loaded by full path; its own dependencies are searched for first in
// its own directory.
using LibraryModule = void*;
LibraryModule LoadLibraryFile(const std::wstring& path);
void* FindLibraryExport(LibraryModule module, const char* name);
void FreeLibraryFile(LibraryModule module);

// The machine-wide settings that name the default repository location: a data
// folder, and a setup key with named text values. Shaped after the calls the
// Windows side makes, so that one algorithm serves every platform and tests can
// stand in for the machine.
class MachineSettings {
public:
    virtual ~MachineSettings() = default;
    // Writes the machine-wide application data folder, terminated, into path
    // (capacity characters); false when it cannot.
    virtual bool GetDataFolder(wchar_t* path, std::size_t capacity) = 0;
    virtual bool OpenSetupKey() = 0;
    // Copies the value's text into buffer (byteCount bytes offered) and sets
    // byteCount to the bytes stored; false when the value is missing or does
    // not fit.
    virtual bool QuerySetupValue(const wchar_t* name, wchar_t* buffer, std::uint32_t& byteCount) = 0;
    virtual void CloseSetupKey() = 0;
};

// The settings of the machine the tool runs on.
MachineSettings& SystemMachineSettings();

}  // namespace platform
