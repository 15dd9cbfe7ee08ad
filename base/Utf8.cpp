#include "base/Utf8.h"

namespace tq9 {

namespace {
bool Continues(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
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

}  // namespace tq9
