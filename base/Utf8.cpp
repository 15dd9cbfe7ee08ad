#include "base/Utf8.h"

#include <cstddef>

namespace tq9 {

namespace {
bool Continues(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length of the well-formed sequence at `i`; else, as a negative number, how many
// bytes make the maximal ill-formed part there (at least one).
std::ptrdiff_t SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    // The range of the second byte: narrower after E0, ED, F0 and F4 so that overlong
    // forms, surrogates and code points above U+10FFFF never start a sequence.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return -1;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const bool fits = i + k < text.size() && byte(i + k) >= (k == 1 ? low : 0x80) &&
                          byte(i + k) <= (k == 1 ? high : 0xBF);
        if (!fits) return -static_cast<std::ptrdiff_t>(k);
    }
    return static_cast<std::ptrdiff_t>(length);
}
}  // namespace

std::size_t Utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text)
        n += !Continues(c);
    return n;
}

std::size_t Utf8Offset(std::string_view text, std::size_t index) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        if (Continues(text[at])) continue;
        if (seen++ == index) return at;
    }
    return text.size();
}

std::string Utf8Substr(std::string_view text, std::size_t from, std::size_t count) {
    const std::size_t begin = Utf8Offset(text, from);
    if (count == std::string::npos) return std::string(text.substr(begin));
    const std::size_t end = begin + Utf8Offset(text.substr(begin), count);
    return std::string(text.substr(begin, end - begin));
}

std::string Utf8Valid(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::ptrdiff_t n = SequenceAt(text, i);
        if (n > 0) {
            valid.append(text.substr(i, static_cast<std::size_t>(n)));
            i += static_cast<std::size_t>(n);
        } else {
            valid += "\xEF\xBF\xBD";
            i += static_cast<std::size_t>(-n);
        }
    }
    return valid;
}

std::size_t Utf8WholeLength(std::string_view text) {
    // Back over at most three continuation bytes to the lead byte they follow.
    for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xc0) == 0x80) continue;
        const std::size_t needs = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        return needs > back && c < 0xf8 ? text.size() - back : text.size();
    }
    return text.size();
}

std::string TerminalText(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    const std::string valid = Utf8Valid(text);
    std::string shown;
    shown.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        if (c < 0x20 || c == 0x7f) {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xf];
        } else if (c == 0xc2 && i + 1 < valid.size() &&
                   static_cast<unsigned char>(valid[i + 1]) < 0xa0) {
            // U+0080 to U+009F: two bytes, the second 0x80 to 0x9f in valid text.
            const auto code = static_cast<unsigned char>(valid[++i]);
            shown += "\\u00";
            shown += kHex[code >> 4];
            shown += kHex[code & 0xf];
        } else {
            shown += valid[i];
        }
    }
    return shown;
}

}  // namespace tq9
