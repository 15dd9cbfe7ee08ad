// Text made valid UTF-8 for the files other tools read: every ill-formed part becomes
// U+FFFD, everything well formed stays as it is.

#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace tq9 {
namespace {

constexpr const char* kR = "\xEF\xBF\xBD";  // U+FFFD

std::string Times(int n, const std::string& text) {
    std::string all;
    for (int i = 0; i < n; ++i)
        all += text;
    return all;
}

TEST(Utf8ValidTest, EachIllFormedPartBecomesOneReplacementCharacter) {
    struct Case {
        const char* what;
        std::string in, out;
    };
    const std::string r = kR;
    const Case cases[] = {
        {"ASCII", "abc 123\t\r\n", "abc 123\t\r\n"},
        {"two, three and four bytes", "\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "\xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"the edges that are valid", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80",
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80"},
        {"the last code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"overlong slash", "a\xC0\xAFz", "a" + r + r + "z"},
        {"overlong C1", "\xC1\xBF", r + r},
        {"overlong in three bytes", "\xE0\x80\xAF", r + r + r},
        {"overlong in four bytes", "\xF0\x80\x80\xAF", r + r + r + r},
        {"high surrogate", "\xED\xA0\x80", r + r + r},
        {"low surrogate", "\xED\xBF\xBF", r + r + r},
        {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"no such lead byte", "\xF5\x80\x80\x80|\xFE|\xFF", r + r + r + r + "|" + r + "|" + r},
        {"stray continuation bytes",
         "a\x80\xBF"
         "b",
         "a" + r + r + "b"},
        {"truncated at the end", "ok\xE2\x82", "ok" + r},
        {"truncated before ASCII", "\xF0\x9F\x98x", r + "x"},
        {"truncated before a lead", "\xE2\xC3\xA4", r + "\xC3\xA4"},
        {"a board's Latin-1", "TQ95-\xE4rgel", "TQ95-" + r + "rgel"},
        {"empty", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8Valid(c.in), c.out) << c.what;
}

// Every code point, encoded here by hand, comes through unchanged; each surrogate's
// three bytes become three replacement characters.
TEST(Utf8ValidTest, EveryScalarValueStaysAndEverySurrogateIsReplaced) {
    auto encode = [](char32_t c) {
        std::string s;
        auto put = [&](char32_t v) { s += static_cast<char>(v); };
        const int continuations = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        const char32_t leads[] = {0x00, 0xC0, 0xE0, 0xF0};
        put(leads[continuations] | (c >> (6 * continuations)));
        for (int k = continuations - 1; k >= 0; --k)
            put(0x80 | ((c >> (6 * k)) & 0x3F));
        return s;
    };
    int wrong = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const std::string text = "<" + encode(c) + ">";
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        const std::string expected = surrogate ? "<" + Times(3, kR) + ">" : text;
        if (Utf8Valid(text) != expected && ++wrong < 5) ADD_FAILURE() << std::hex << +c;
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace tq9
