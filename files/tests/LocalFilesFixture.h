// A temporary directory per test, the process's argument map cleared around
// it, and helpers to set path options and capture what an operation prints.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "encoding/WideText.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"

namespace files_test {

namespace fs = std::filesystem;

// A native path as the tool's wide text: Windows paths are wide already,
// POSIX paths go through the reversible mapping.
inline std::wstring WideOf(const std::wstring& native) { return native; }
inline std::wstring WideOf(const std::string& native) { return encoding::WideFromBytes(native); }

class LocalFiles : public testing::Test {
protected:
    void SetUp() override {
        options::ProcessArguments().Clear();
        directory_ = MakeUniqueDirectory();
        ASSERT_FALSE(directory_.empty());
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(directory_);
        options::ProcessArguments().Clear();
    }

    fs::path PathOf(const std::string& name) const { return directory_ / fs::path(name).make_preferred(); }

    static void SetOption(const std::wstring& key, const fs::path& value) {
        options::ProcessArguments().Insert(key, WideOf(value.native()));
    }

    static void WriteFile(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::string ReadFile(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // Runs an operation and returns what it printed.
    template <typename Operation>
    static std::string Printed(bool& result, Operation operation) {
        testing::internal::CaptureStdout();
        result = operation();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    // Reads /sourceFilePath expecting a failure that prints message; returns
    // the buffer it leaves behind.
    static files::ContentBuffer ExpectSourceReadToFail(const std::string& message, std::uint32_t& byteCount) {
        files::ContentBuffer buffer;
        bool read = true;
        EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }), message);
        EXPECT_FALSE(read);
        return buffer;
    }

    // Reads /sourceFilePath expecting its open to fail, with the out values
    // left as they were.
    static void ExpectSourceNotOpened() {
        std::uint32_t byteCount = 7;
        EXPECT_EQ(ExpectSourceReadToFail("Error opening source file.\n\n", byteCount), nullptr);
        EXPECT_EQ(byteCount, 7u);
    }

    fs::path directory_;
    fs::path previous_;

private:
    // A new directory of its own under the temporary folder; empty when none
    // could be made.
    static fs::path MakeUniqueDirectory() {
        std::random_device seed;
        std::mt19937_64 numbers(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = fs::temp_directory_path() / ("zarn-files-" + std::to_string(numbers()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) return candidate;
        }
        return {};
    }
};

}  // namespace files_test
