#include "utility/streaming/CharArray.hpp"

#include <gtest/gtest.h>

using utility::streaming::CharArray;

namespace {

CharArray<4> Make(const char* text) {
    CharArray<4> code;
    for (std::size_t i = 0; i < 4; ++i) {
        code[i] = text[i];
    }
    return code;
}

} // namespace

TEST(CharArray, StartsZeroedWithLengthFour) {
    const CharArray<4> code;
    EXPECT_EQ(code.size(), 4u);
    for (int i = 0; i <= 4; ++i) {
        EXPECT_EQ(code.c_str()[i], '\0');
    }
}

TEST(CharArray, ComparesFourBytesExactly) {
    const CharArray<4> fmt = Make("fmt ");
    EXPECT_TRUE(fmt == "fmt ");
    EXPECT_FALSE(fmt != "fmt ");
    EXPECT_TRUE(fmt != "fmt");     // the trailing blank matters
    EXPECT_TRUE(fmt != "FMT ");    // case matters
    EXPECT_TRUE(fmt == "fmt xyz"); // only the first four characters count
    EXPECT_TRUE(Make("RIFF") != "RIFX");
}

TEST(CharArray, ShortStringNeverMatchesAndIsNotReadPastItsEnd) {
    // A zeroed code against shorter strings: the comparison must stop at the
    // string's terminator (the sanitizer build would catch a read past it).
    const CharArray<4> empty;
    EXPECT_TRUE(empty != "");
    EXPECT_TRUE(empty != "a");
    EXPECT_FALSE(empty == nullptr);
    CharArray<4> partial;
    partial[0] = 'd';
    partial[1] = 'a';
    EXPECT_TRUE(partial != "da");
}

TEST(CharArray, CopyAndAssignmentTakeAllBytes) {
    const CharArray<4> data = Make("data");
    const CharArray<4> copy(data);
    EXPECT_TRUE(copy == "data");
    CharArray<4> target = Make("LIST");
    target = data;
    EXPECT_TRUE(target == "data");
    EXPECT_EQ(target.c_str()[4], '\0');
    const CharArray<4>& same = target;
    target = same; // self-assignment keeps the code
    EXPECT_TRUE(target == "data");
}
