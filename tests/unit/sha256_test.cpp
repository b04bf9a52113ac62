// The digest of the record of a load against the standard's own examples, across the lengths
// where the padding takes one block or two.

#include "loader/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Vector {
    const char* name;
    std::string message;
    const char* digest;
    friend void PrintTo(const Vector& v, std::ostream* out) { *out << v.name; }
};

const Vector kVectors[] = {
    {"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    // 56 bytes: the length no longer fits behind the message, a second block is needed.
    {"Bits448", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"MillionA", std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

class Sha256 : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256, StandardVector) {
    const Vector& v = GetParam();
    EXPECT_EQ(Sha256Hex(v.message.data(), v.message.size()), v.digest);
}

INSTANTIATE_TEST_SUITE_P(Table, Sha256, ::testing::ValuesIn(kVectors),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
