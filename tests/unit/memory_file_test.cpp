// Streams over bytes in memory, and whole files read once into memory: what is read back is
// exactly what was there when it was read, whatever happens to the file afterwards.

#include "loader/file_copy.h"
#include "platform/memory_file.h"

#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string ReadAll(FILE* file) {
    std::string text;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        text.append(block, got);
    }
    return text;
}

// Every byte value, a CR LF (no translation) and a text larger than any stream buffer.
std::string AwkwardBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    bytes += "S1\r\nS9\n";
    for (int i = 0; bytes.size() < 3 * 1024 * 1024; ++i) {
        bytes += static_cast<char>('0' + i % 43);
    }
    return bytes;
}

TEST(MemoryFile, ReadsExactlyTheBytesAgainAndAgain) {
    for (const std::string& bytes : {std::string(), std::string("S9030000FC"), AwkwardBytes()}) {
        std::string error;
        FILE* file = OpenMemoryFile(bytes.data(), bytes.size(), &error);
        ASSERT_NE(file, nullptr) << error;
        EXPECT_EQ(ReadAll(file), bytes);
        std::rewind(file);
        EXPECT_EQ(ReadAll(file), bytes) << "read again after a rewind";
        if (bytes.size() > 300) {
            ASSERT_EQ(std::fseek(file, 256, SEEK_SET), 0);
            char line[16];
            ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
            EXPECT_EQ(std::string(line), "S1\r\n");
        }
        std::fclose(file);
    }
}

TEST(FileCopy, KeepsWhatTheFileHeldWhenItWasRead) {
    const ScratchDir scratch;
    const std::string path = scratch / "firmware.s19";
    const std::string first = "S00600004844521B\nS1070100DEADBEEFBF\nS9030100FB\n";
    std::ofstream(path, std::ios::binary) << first;
    CFileCopy copy;
    std::string error;
    ASSERT_EQ(copy.ReadPath(path, &error), 0) << error;
    EXPECT_EQ(std::string(copy.Data(), copy.Size()), first);

    // Rewritten in place and then removed: the copy and its stream still hold the first text.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "S1 something else\n";
    FILE* stream = copy.Stream(&error);
    ASSERT_NE(stream, nullptr) << error;
    std::remove(path.c_str());
    EXPECT_EQ(ReadAll(stream), first);
    EXPECT_EQ(copy.Stream(&error), stream) << "one stream for one copy";
    std::rewind(stream);
    EXPECT_EQ(ReadAll(stream), first);

    // A stream is read from where it stands; the reading call leaves it at its end.
    FILE* source = OpenMemoryFile(first.data(), first.size(), &error);
    ASSERT_NE(source, nullptr) << error;
    std::fseek(source, 17, SEEK_SET);
    ASSERT_EQ(copy.ReadStream(source, "the file", &error), 0) << error;
    EXPECT_EQ(std::string(copy.Data(), copy.Size()), first.substr(17));
    EXPECT_EQ(ReadAll(copy.Stream(&error)), first.substr(17)) << "a new stream for the new copy";
    EXPECT_NE(std::feof(source), 0);
    std::fclose(source);
}

} // namespace
