// Whole files read once into memory from what can be read only once: pipes, FIFOs, standard
// input; and a directory given for a file.

#include "loader/file_copy.h"
#include "platform/fd_io.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A text of about 1 MiB, more than a pipe holds, so the writer must wait for the reader.
std::string LargeText() {
    std::string text;
    for (int i = 0; text.size() < 1024 * 1024; ++i) {
        text += "S1130000285F245F2212226A000424290008237C" + std::to_string(i % 10) + "\n";
    }
    return text;
}

class FileCopyPosix : public ::testing::Test {
protected:
    const ScratchDir scratch;
    const std::string dir = scratch.Path();
    const std::string text = LargeText();

    // Writes the text into fd and closes it.
    void Write(int fd) {
        WriteAll(fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 60000);
        ::close(fd);
    }
};

TEST_F(FileCopyPosix, PipesFifosAndStandardInputReadLikeFiles) {
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const std::string paths[] = {"-", "/dev/stdin", dir + "/fifo"};
    for (const std::string& path : paths) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int savedStdin = ::dup(0);
        std::thread writer;
        if (path == dir + "/fifo") {
            ::close(fds[0]);
            ::close(fds[1]);
            writer = std::thread([&] {
                const int fd = ::open(path.c_str(), O_WRONLY); // waits for the reader
                Write(fd);
            });
        } else {
            ::dup2(fds[0], 0);
            ::close(fds[0]);
            writer = std::thread([&, fd = fds[1]] { Write(fd); });
        }
        CFileCopy copy;
        std::string error;
        EXPECT_EQ(copy.ReadPath(path, &error), 0) << path << ": " << error;
        writer.join();
        ::dup2(savedStdin, 0);
        ::close(savedStdin);
        std::clearerr(stdin);
        EXPECT_EQ(std::string(copy.Data(), copy.Size()), text) << path;
    }
}

TEST_F(FileCopyPosix, ADirectoryIsNamedWithTheReason) {
    CFileCopy copy;
    std::string error;
    EXPECT_EQ(copy.ReadPath(dir, &error), kCopyCannotRead);
    EXPECT_EQ(error, "Sorry, cannot read " + dir + ": Is a directory !");
}

} // namespace
