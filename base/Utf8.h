#pragma once
// UTF-8 text counted in characters, as the board's texts are: on the wire one byte is one
// character, and above the link every string is UTF-8, so a cut by bytes could split one.

#include <string>
#include <string_view>

namespace tq9 {

// The number of characters (a byte that does not continue a sequence starts one).
std::size_t Utf8Length(std::string_view text);
// The byte offset of character `index` (the text's size when it has fewer characters).
std::size_t Utf8Offset(std::string_view text, std::size_t index);
// Characters [from, from + count) of the text; never half a character.
std::string Utf8Substr(std::string_view text, std::size_t from,
                       std::size_t count = std::string::npos);
// The text as valid UTF-8: each maximal part of an ill-formed sequence (an overlong form,
// a surrogate, a code point above U+10FFFF, a stray or missing continuation byte) becomes
// U+FFFD, as Unicode recommends and browsers do; valid text is copied unchanged.
std::string Utf8Valid(std::string_view text);
// The text as a terminal is to show it, one field of a line: valid UTF-8 (as Utf8Valid)
// with every control character escaped, so that no text read from a board, a file or the
// line's server moves the cursor, clears the screen or sets the window's title. C0 and DEL
// become \x1b, \x7f, ..., C1 (U+0080 to U+009F) \u009b, ...; a tab and a line end too,
// which would break the line they are in.
std::string TerminalText(std::string_view text);
// How much of a chunk of a stream ends on a whole character: all of it, unless its last
// bytes begin a UTF-8 sequence the next chunk completes.
std::size_t Utf8WholeLength(std::string_view text);

}  // namespace tq9
