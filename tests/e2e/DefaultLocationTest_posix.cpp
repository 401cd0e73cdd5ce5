// Without /reposDirPath the tool opens the repository at the default location,
// <data folder>/<company>/<product>, named by the machine-wide setup file,
// then closes it and reports the missing option. The copy of the tool used
// here reads its machine-wide folders below TestRootDirectory(), so this one
// test owns that folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "tests/e2e/DefaultLocationExpectations.h"
#include "tests/e2e/Sandbox.h"
#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const fs::path kSetupFile = TestRootDirectory() / "etc/Orbek Software/Setup.conf";
const std::string kDataFolder = (TestRootDirectory() / "var/lib").string();

struct DefaultLocationRow {
    std::string name;
    std::optional<std::string> setupFile;  // unset: no file at all
    std::optional<std::string> openedAt;   // unset: no repository path was found
    std::vector<std::string> arguments = {"/command:deleteFile", "/fileId:1"};
};

// A company name that makes the default path exactly length characters long
// together with the product "P".
std::string CompanyForPathLength(std::size_t length) {
    return std::string(length - kDataFolder.size() - std::string("//P").size(), 'c');
}

std::string Setup(const std::string& company, const std::string& product) {
    return "InitialCompanyName=" + company + "\nInitialProductName=" + product + "\n";
}

const std::vector<DefaultLocationRow> kRows = {
    {"NoSetupFile", std::nullopt, std::nullopt},
    {"BothValues", Setup("Acme", "Vault"), kDataFolder + "/Acme/Vault"},
    {"OtherLinesAndAnyOrder", "Other=1\nInitialProductName=Vault\nInitialCompanyName=Acme",
     kDataFolder + "/Acme/Vault"},
    {"FirstOccurrenceWins", "InitialCompanyName=Acme\n" + Setup("Other", "Vault"), kDataFolder + "/Acme/Vault"},
    {"MissingCompany", "InitialProductName=Vault\n", std::nullopt},
    {"MissingProduct", "InitialCompanyName=Acme\n", std::nullopt},
    {"EmptyCompanyAddsAnEmptyComponent", Setup("", "Vault"), kDataFolder + "//Vault"},
    {"NonAsciiNames", Setup("\xc3\x96rbek Soft", "B\xc3\xa4r"), kDataFolder + "/\xc3\x96rbek Soft/B\xc3\xa4r"},
    {"PathOf259Characters", Setup(CompanyForPathLength(259), "P"),
     kDataFolder + "/" + CompanyForPathLength(259) + "/P"},
    {"PathOf260CharactersIsNotCut", Setup(CompanyForPathLength(260), "P"), std::nullopt},
    {"EmptyRepositoryPathDoesNotFallBack", Setup("Acme", "Vault"), std::nullopt,
     {"/command:deleteFile", "/reposDirPath:", "/fileId:1"}},
};

void PlaceSetupFile(const std::optional<std::string>& content) {
    fs::remove(kSetupFile);
    if (!content) return;
    fs::create_directories(kSetupFile.parent_path());
    test_support::WriteFileBytes(kSetupFile, *content);
}

TEST(DefaultLocation, ComesFromTheMachineSetupFile) {
    if (TestRootToolPath().empty()) GTEST_SKIP() << "the build has no tool that reads a test root";
    for (const DefaultLocationRow& row : kRows) {
        SCOPED_TRACE(row.name);
        PlaceSetupFile(row.setupFile);
        const Sandbox sandbox;
        sandbox.WriteScript("marker ReleaseLibrary\nmarker Unloaded\n");
        RunOptions options;
        options.tool = TestRootToolPath();

        const auto outcome = sandbox.Run(row.arguments, options);

        EXPECT_EQ(outcome.standardOutput, DefaultLocationOutput(row.openedAt));
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.standardError, "");
        EXPECT_EQ(sandbox.Calls(), DefaultLocationCalls(row.openedAt));
    }
    PlaceSetupFile(std::nullopt);
}

}  // namespace
}  // namespace e2e
