// The code page at the cable: Windows-1252 bytes to UTF-8 and back.

#include "link/Ansi.h"

#include <gtest/gtest.h>

#include <string>

namespace tq9 {
namespace {

TEST(CodePage, TheBytes0x80To0x9FBothWays) {
    // Windows-1252's characters there; the five it leaves undefined stay their own codes.
    const char* const expected[32] = {
        "\u20ac", "\u0081", "\u201a", "\u0192", "\u201e", "\u2026", "\u2020", "\u2021",
        "\u02c6", "\u2030", "\u0160", "\u2039", "\u0152", "\u008d", "\u017d", "\u008f",
        "\u0090", "\u2018", "\u2019", "\u201c", "\u201d", "\u2022", "\u2013", "\u2014",
        "\u02dc", "\u2122", "\u0161", "\u203a", "\u0153", "\u009d", "\u017e", "\u0178"};
    for (int b = 0x80; b <= 0x9F; ++b) {
        SCOPED_TRACE(b);
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(AnsiToUtf8(byte), expected[b - 0x80]);
        EXPECT_EQ(Utf8ToAnsi(expected[b - 0x80]), byte);
    }
}

TEST(CodePage, EveryByteSurvivesTheRoundTripAndWhatItLacksBecomesAQuestionMark) {
    for (int b = 0; b <= 0xFF; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(byte)), byte) << b;
    }
    EXPECT_EQ(AnsiToUtf8("\xE4\xFF"), "\u00e4\u00ff");
    EXPECT_EQ(Utf8ToAnsi("\u03a9 \u4e2d \U0001F600 x"), "? ? ? x");
    EXPECT_EQ(Utf8ToAnsi("cut \xC3"), "cut ?") << "half a character";
}

}  // namespace
}  // namespace tq9
