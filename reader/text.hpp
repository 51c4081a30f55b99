// Counts, texts and names as messages and reports write them, for every reader of the model.
#pragma once

#include "model.hpp"

#include <string>
#include <string_view>

namespace vox::legacy {

// The decimal digits of a count, however large.
std::string to_text(uint128 value);

// "1 value", "2 values".
std::string plural(uint128 n, const char* one, const char* many);

// A text from outside (a path, a word of a file) as it may stand in a report or a message:
// control characters as \xNN, so that none can move the cursor or make up a line.
std::string printable(std::string_view text);

// Bytes as a JSON string, quotes included: UTF-8 as it is, quotes, backslashes and control
// characters escaped, and each byte that is not part of valid UTF-8 (a surrogate encoded in it
// too) as U+FFFD, the replacement character, which every JSON reader takes.
std::string json_string(std::string_view bytes);

// The kind of a grid as reports name it: "uniform", "rectilinear", "slice stack".
const char* grid_name(grid_kind grid);

// The character at the start of `text`: its code point and its length in bytes (1 for ASCII).
// The length is 0 where no valid UTF-8 sequence starts there: a stray or truncated byte, an
// overlong form, a surrogate, or a code past U+10FFFF.
struct utf8_char {
    char32_t code = 0;
    std::size_t length = 0;
};
utf8_char first_char(std::string_view text);

} // namespace vox::legacy
