// The code page at the cable: Windows-1252 bytes to UTF-8 and back.

#include "link/Ansi.h"

#include <gtest/gtest.h>

#include <string>

namespace tq9 {
namespace {

std::string Utf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

TEST(CodePage, TheBytes0x80To0x9FBothWays) {
    // Windows-1252's characters there; the five it leaves undefined stay their own codes.
    const char32_t expected[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (int b = 0x80; b <= 0x9F; ++b) {
        SCOPED_TRACE(b);
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(AnsiToUtf8(byte), Utf8(expected[b - 0x80]));
        EXPECT_EQ(Utf8ToAnsi(Utf8(expected[b - 0x80])), byte);
        EXPECT_EQ(Latin1ToUtf8(byte), Utf8(char32_t(b))) << "echo lines take the byte's code";
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
