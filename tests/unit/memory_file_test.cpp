// Whole files read once into memory and the streams over them: what is read back is exactly what
// was there when it was read, whatever happens to the file afterwards.

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

// Read whole and kept: the copy and its stream still hold what was there when it was read after
// the file was rewritten and removed; an empty file too.
TEST(FileCopy, KeepsWhatTheFileHeldWhenItWasRead) {
    const ScratchDir scratch;
    const std::string path = scratch / "firmware.s19";
    for (const std::string first : {"", "S00600004844521B\nS1070100DEADBEEFBF\nS9030100FB\n"}) {
        std::ofstream(path, std::ios::binary) << first;
        CFileCopy copy;
        std::string error;
        ASSERT_EQ(copy.ReadPath(path, &error), 0) << error;
        EXPECT_EQ(std::string(copy.Data(), copy.Size()), first);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "S1 something else\n";
        FILE* stream = copy.Stream(&error);
        ASSERT_NE(stream, nullptr) << error;
        std::remove(path.c_str());
        EXPECT_EQ(ReadAll(stream), first);
        EXPECT_EQ(copy.Stream(&error), stream) << "one stream for one copy";
    }
}

// A stream is read from where it stands, to its end; the copy's stream gives back exactly those
// bytes, again after a rewind.
TEST(FileCopy, ReadsAStreamFromWhereItStandsExactly) {
    const std::string bytes = AwkwardBytes();
    std::string error;
    FILE* source = OpenMemoryFile(bytes.data(), bytes.size(), &error);
    ASSERT_NE(source, nullptr) << error;
    std::fseek(source, 17, SEEK_SET);
    CFileCopy copy;
    ASSERT_EQ(copy.ReadStream(source, "the file", &error), 0) << error;
    EXPECT_NE(std::feof(source), 0);
    std::fclose(source);
    EXPECT_EQ(std::string(copy.Data(), copy.Size()), bytes.substr(17));
    FILE* stream = copy.Stream(&error);
    ASSERT_NE(stream, nullptr) << error;
    EXPECT_EQ(ReadAll(stream), bytes.substr(17));
    std::rewind(stream);
    EXPECT_EQ(ReadAll(stream), bytes.substr(17)) << "read again after a rewind";
}

} // namespace
