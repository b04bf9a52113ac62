// What a person was told, on the one line a summary of several ports gives each port: sentences
// follow each other, and a line that ends no sentence is set off from the next.

#include "cli/user_messages.h"

#include <gtest/gtest.h>

namespace {

struct Joined {
    const char* told;
    const char* line;
};

const Joined kJoined[] = {
    {"Transmission complete.\nDevice started.", "Transmission complete. Device started."},
    {"Protocollerror !\nthe device refused the write at 0x00010000 (error 42); it is only partly "
     "programmed",
     "Protocollerror ! the device refused the write at 0x00010000 (error 42); it is only partly "
     "programmed"},
    {"the port /dev/ttyUSB1 was lost during programming; it is only partly programmed\nthe "
     "system said: Input/output error",
     "the port /dev/ttyUSB1 was lost during programming; it is only partly programmed; the "
     "system said: Input/output error"},
    {"one\n\ntwo\n", "one; two"},
    {"", ""},
};

TEST(OnOneLine, JoinsToldLinesAsSentences) {
    for (const Joined& j : kJoined) {
        EXPECT_EQ(OnOneLine(j.told), j.line) << j.told;
    }
}

} // namespace
