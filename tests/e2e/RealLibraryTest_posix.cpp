// Sources and targets that are not regular files, with the repository
// library itself: content piped in through /dev/stdin or a FIFO is stored
// whole, and getFile writes it out through /dev/stdout.
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "tests/e2e/RealLibrary.h"

namespace e2e {
namespace {

std::string Content(std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
    return content;
}

TEST_F(RealLibrary, PipedContentIsStoredWholeAndComesBackOutThroughAPipe) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{5} << 20}) {
        SCOPED_TRACE(size);
        const std::string content = Content(size);
        const std::string id = std::to_string(size);
        RunOptions piped;
        piped.standardInput = content;
        auto add = AddFile("{repo}", "unused", id, id + ".bin");
        add = Replacing(add, "/sourceFilePath:/dev/stdin");
        Run(add, "", 0, piped);
        EXPECT_EQ(ReadFile("repo/" + id + ".bin"), content);
        Run(Command("getFile", {"/fileId:" + id, "/targetFilePath:/dev/stdout"}), content, 0);
    }
}

TEST_F(RealLibrary, AFifoIsReadToItsEnd) {
    const fs::path fifo = sandbox_.Root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string content = Content(std::size_t{1} << 20);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << content; });
    Run(AddFile("{repo}", "fifo"), "", 0);
    writer.join();
    EXPECT_EQ(ReadFile("repo/a.txt"), content);
}

}  // namespace
}  // namespace e2e
