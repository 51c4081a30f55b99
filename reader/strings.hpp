// The values of FIELD arrays that hold no numbers, framed as VTK's legacy reader frames them: it
// keeps them with the data set and ignores them for the grid, so the reader passes over them and
// counts them.
#pragma once

#include "input.hpp"

#include <cstdint>
#include <string_view>

namespace vox::legacy {

// How the values of a type word that is no number are laid out; `none` for any other word.
//   lines:      text strings ("string", "utf8_string" in ASCII), one a line after the type's
//               line, bytes that are not printable written as %XX;
//   lengths:    binary strings, each after its length: a big-endian number of 1, 2, 4 or 8
//               bytes, whose top two bits say which (3, 2, 1 or 0) and whose other bits are the
//               length (all 64 bits for 8 bytes);
//   word_pairs: "variant" values in either encoding, each two words: a type number and the value.
enum class string_framing { none, lines, lengths, word_pairs };

string_framing string_framing_of(std::string_view type_word, bool binary);

// Passes over `count` values framed as `how` says, and stops after the last of them.
class string_framer final : public payload_sink {
  public:
    string_framer(string_framing how, std::uint64_t count) : how_(how), count_(count) {}
    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override;
    bool done() const override { return found_ == count_; }

    // The values passed over, whole; fewer than `count` when the file ends first.
    std::uint64_t found() const { return found_; }
    std::uint64_t line_feeds() const { return line_feeds_; }

  private:
    std::size_t lines(const char* data, std::size_t size, bool last);
    std::size_t lengths(const char* data, std::size_t size);
    std::size_t word_pairs(const char* data, std::size_t size, bool last);

    string_framing how_;
    std::uint64_t count_;
    std::uint64_t found_ = 0;
    std::uint64_t line_feeds_ = 0;
    // lines: bytes of the current line so far; word_pairs: words so far, and whether in one.
    std::uint64_t partial_ = 0;
    std::uint64_t words_ = 0;
    bool in_word_ = false;
    // lengths: the bytes of the length still due and its value so far, then the string's bytes
    // still to pass.
    unsigned length_bytes_ = 0;
    std::uint64_t length_ = 0;
    std::uint64_t left_ = 0;
    bool in_string_ = false;
};

} // namespace vox::legacy
