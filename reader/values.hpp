// What the payloads hold: the type words and their sizes, numbers as text, and the sinks that
// count, range and check the values of a payload as it streams past.
#pragma once

#include "input.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vox::legacy {

enum class number_kind { signed_integer, unsigned_integer, floating, bit };

struct type_info {
    std::string_view word;
    unsigned size; // bytes of one value; 1 for bits, which are packed eight to a byte
    number_kind kind;
    // The bytes of `values` values.
    std::uint64_t bytes_of(std::uint64_t values) const {
        return kind == number_kind::bit ? (values + 7) / 8 : values * size;
    }
};

// Words longer than this in text values are no numbers: a sink is shown their start only.
inline constexpr std::size_t max_word = 128;

// The code of a type of values, by which VOX_TYPE_SWITCH tells them apart.
constexpr unsigned type_code(unsigned size, number_kind kind) {
    return size * 4 + static_cast<unsigned>(kind);
}

// Runs the statements that follow `type` with `vox_t` the C++ type of its values, once for each
// type of known size but bits, as VTK's vtkTemplateMacro does: the one place that turns a type
// word into a C++ type. Nothing runs for bits.
#define VOX_TYPE_CASE(Size, Kind, T, ...)                                                          \
    case ::vox::legacy::type_code(Size, ::vox::legacy::number_kind::Kind): {                       \
        using vox_t = T;                                                                           \
        __VA_ARGS__;                                                                               \
    } break;
#define VOX_TYPE_SWITCH(type, ...)                                                                 \
    switch (::vox::legacy::type_code((type).size, (type).kind)) {                                  \
        VOX_TYPE_CASE(1, signed_integer, std::int8_t, __VA_ARGS__)                                 \
        VOX_TYPE_CASE(1, unsigned_integer, std::uint8_t, __VA_ARGS__)                              \
        VOX_TYPE_CASE(2, signed_integer, std::int16_t, __VA_ARGS__)                                \
        VOX_TYPE_CASE(2, unsigned_integer, std::uint16_t, __VA_ARGS__)                             \
        VOX_TYPE_CASE(4, signed_integer, std::int32_t, __VA_ARGS__)                                \
        VOX_TYPE_CASE(4, unsigned_integer, std::uint32_t, __VA_ARGS__)                             \
        VOX_TYPE_CASE(8, signed_integer, std::int64_t, __VA_ARGS__)                                \
        VOX_TYPE_CASE(8, unsigned_integer, std::uint64_t, __VA_ARGS__)                             \
        VOX_TYPE_CASE(4, floating, float, __VA_ARGS__)                                             \
        VOX_TYPE_CASE(8, floating, double, __VA_ARGS__)                                            \
    default:                                                                                       \
        break;                                                                                     \
    }

// The value `u` with its bytes in the other order: the one byte swap of the library.
template <typename U>
constexpr U byte_swapped(U u) {
    if constexpr (sizeof(U) == 1) {
        return u;
    } else if constexpr (sizeof(U) == 2) {
        return static_cast<U>(__builtin_bswap16(static_cast<std::uint16_t>(u)));
    } else if constexpr (sizeof(U) == 4) {
        return static_cast<U>(__builtin_bswap32(static_cast<std::uint32_t>(u)));
    } else {
        return static_cast<U>(__builtin_bswap64(static_cast<std::uint64_t>(u)));
    }
}

// The type of a type word, in any case as VTK's reader takes it; none for a word of unknown size.
const type_info* find_type(std::string_view word);

// The type words of `size` bytes, as "short or unsigned_short"; empty when there are none.
std::string type_words_of_size(unsigned size);

// A whole word as a real number (an optional sign, digits, a fraction, an exponent; inf and nan);
// false when it is none. Beyond the range of a double it is an infinity or zero.
bool parse_real(const char* begin, const char* end, double& value);

// The most common words of text values: an optional sign, then at most 19 digits with at most
// one point among them, that make a number below 2^53. That number and the power of ten it is
// divided by are both doubles exactly, so their quotient is rounded once, as parse_real rounds
// the word. Reads such a number from `p` on, and returns where it stops (before `end`; a
// word is one when it stops at the word's end), or none when there is no such number there.
// Inline: the viewer reads the words of its text samples with it as it finds them.
inline const char* plain_decimal(const char* p, const char* end, double& value) {
    static constexpr double tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                      1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) {
        ++p;
    }
    // Past 19 digits the number wraps, and is not taken.
    std::uint64_t number = 0;
    const char* const first = p;
    for (unsigned digit = 0; p < end && (digit = static_cast<unsigned>(*p - '0')) <= 9; ++p) {
        number = number * 10 + digit;
    }
    std::size_t digits = static_cast<std::size_t>(p - first), after_point = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        for (unsigned digit = 0; p < end && (digit = static_cast<unsigned>(*p - '0')) <= 9; ++p) {
            number = number * 10 + digit;
        }
        after_point = static_cast<std::size_t>(p - fraction);
        digits += after_point;
    }
    if (digits == 0 || digits > 19 || number > std::uint64_t{1} << 53) {
        return nullptr;
    }
    value = static_cast<double>(number) / tens[after_point];
    value = negative ? -value : value;
    return p;
}

// An optional sign and decimal digits, nothing else, within 64 bits.
struct integer_word {
    bool ok;
    bool negative;
    std::uint64_t magnitude;
};
integer_word parse_integer(const char* begin, const char* end);

// An optional sign and at most 19 digits from `p` on, which parse_integer reads alike, a word
// being one when they stop at its end. Returns where they stop (before `end`), or none when
// there are no digits or too many. Inline, as plain_decimal.
inline const char* plain_integer(const char* p, const char* end, integer_word& word) {
    word = {false, p < end && *p == '-', 0};
    if (p < end && (*p == '-' || *p == '+')) {
        ++p;
    }
    const char* const first = p;
    for (unsigned digit = 0; p < end && (digit = static_cast<unsigned>(*p - '0')) <= 9; ++p) {
        word.magnitude = word.magnitude * 10 + digit; // wraps past 19 digits, not taken
    }
    if (p == first || p - first > 19) {
        return nullptr;
    }
    word.ok = true;
    return p;
}

// A number as short as it reads back exactly: 0.5, 1e+30, -3, nan; with `single`, as short as it
// reads back as a float.
std::string format_number(double value, bool single = false);

// Words of a text payload of one kind: how many, and the first of them.
struct word_tally {
    std::uint64_t count = 0;
    std::string first;          // cut short when long
    std::uint64_t first_at = 0; // its offset in the file
    void note(const char* word, const char* end, std::uint64_t offset);
};

// Words that are not numbers (or not integers, where integers are due) in a text payload.
using bad_words = word_tally;

// Takes the values of an array: binary bytes through take(), or the words of a text payload one at
// a time, as the parser finds where the payload ends.
class value_sink : public payload_sink {
  public:
    virtual void word(const char* begin, const char* end, std::uint64_t offset) = 0;
};

// Numbers in text that VTK's reader does not read back as written: words it cannot read at all
// (nan, inf, beyond the type's range for reals), and integers beyond their type, which it wraps.
using unreadable_words = word_tally;

// A value as a report gives it: an integer of either sign, or a real, written as short as it reads
// back (as a float where it was one).
struct shown_value {
    enum class kind { signed_integer, unsigned_integer, real } is = kind::unsigned_integer;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0;
    bool single = false;
    static shown_value of(std::uint64_t value) {
        return {kind::unsigned_integer, 0, value, 0, false};
    }
    static shown_value of_signed(std::int64_t v) { return {kind::signed_integer, v, 0, 0, false}; }
    static shown_value of_real(double v, bool single = false) {
        return {kind::real, 0, 0, v, single};
    }
    bool finite() const;
    // As the text report writes it: 300, -3, 0.5, 1e+30, nan.
    std::string text() const;
};

// The values of a sample payload: binary ones read big-endian, or numbers as text.
class sample_sink final : public value_sink {
  public:
    // `colours`: text values are reals from 0 to 1 that VTK's reader keeps as bytes, times 255.
    sample_sink(const type_info& type, bool text, bool colours = false);
    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override;
    void word(const char* begin, const char* end, std::uint64_t offset) override;

    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t values() const { return values_; }
    std::uint64_t not_finite() const { return not_finite_; }
    const bad_words& bad() const { return bad_; }
    const unreadable_words& not_read_by_vtk() const { return unreadable_; }
    const unreadable_words& wrapped_by_vtk() const { return wrapped_; }
    // The smallest and the largest finite value; none where there is none.
    std::optional<std::pair<shown_value, shown_value>> bounds() const;

    // The accumulators of the scans, one set for each kind of value.
    struct state {
        std::int64_t smin, smax;
        std::uint64_t umin, umax;
        double fmin, fmax;
    };

  private:
    const type_info& type_;
    bool text_;
    bool colours_;
    std::uint64_t bytes_ = 0, values_ = 0, not_finite_ = 0;
    bad_words bad_;
    unreadable_words unreadable_, wrapped_;
    state s_;
};

// What blocks of binary values say of their byte order, each block read as written (big-endian)
// and the other way round. Integers: the summed steps between neighbours within a block, which
// the wrong order makes far larger on smooth data. Reals: the values that no data holds (NaN,
// infinities, denormals, huge), which the wrong order gives about a fifth of the time; values
// whose bytes are all zero say nothing and are not counted.
class order_evidence {
  public:
    enum class verdict { big_endian, little_endian, unknown };
    explicit order_evidence(const type_info& type) : type_(type) {}
    // Takes the whole values of a block; no step is taken across blocks.
    void block(const char* data, std::size_t size);
    verdict judged() const;
    // Why the verdict is unknown, in words that follow "the byte order is unknown: ".
    std::string why_unknown() const;

    // The evidence so far.
    struct state {
        double steps = 0, steps_swapped = 0;
        std::uint64_t values = 0, pairs = 0, odd = 0, odd_swapped = 0, checked = 0;
    };

  private:
    const type_info& type_;
    state s_;
};

// The values of a coordinate or locations payload, kept in double precision.
class array_sink final : public value_sink {
  public:
    // `type` none: a word of unknown size, whose binary values are counted in bytes only.
    array_sink(const type_info* type, bool text);
    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override;
    void word(const char* begin, const char* end, std::uint64_t offset) override;

    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t values() const { return values_; }
    const bad_words& bad() const { return bad_; }
    const unreadable_words& not_read_by_vtk() const { return unreadable_; }
    bool any() const { return finite_ > 0; }
    double min() const { return min_; }
    double max() const { return max_; }
    // The first value that is not above the one before it: its index (0 when they all increase).
    std::uint64_t first_not_increasing() const { return not_increasing_; }
    double previous_of_it() const { return before_; }
    double it() const { return at_; }
    // Whether the values are floats read from bytes, best shown in single precision.
    bool single() const {
        return !text_ && type_ != nullptr && type_->size == 4 &&
               type_->kind == number_kind::floating;
    }
    bool looks_swapped() const;

  private:
    void add(double value, double swapped);
    const type_info* type_;
    bool text_;
    std::uint64_t bytes_ = 0, values_ = 0, finite_ = 0;
    bad_words bad_;
    unreadable_words unreadable_;
    double min_ = 0, max_ = 0, previous_ = 0, previous_swapped_ = 0, before_ = 0, at_ = 0;
    std::uint64_t not_increasing_ = 0;
    bool swapped_increasing_ = true;
    std::uint64_t odd_ = 0, odd_swapped_ = 0;
};

// Reverses the bytes of each of `values` values of `size` bytes in place.
void swap_each(char* data, std::uint64_t values, unsigned size);

// A value of `type` from its bytes in the host's order; bits as whole bytes.
double value_of(const type_info& type, const char* bytes);

// The byte that VTK's reader keeps for a colour value given as text: (unsigned char)(255 * v +
// 0.5) of the value read as a float, that is rounded, then its low eight bits (11 gives 245, -1
// gives 2); 0 where the product leaves the range of an int, as the processor converts it.
std::uint8_t colour_byte(double value);

// Stores a number given as text at `to` as VTK's reader keeps it in an array of `type`, in the
// host's byte order: reals as floats or doubles, integers wrapped to the type's width, bits as
// one byte (0 or 1), and with `colours` a real as its colour byte. False when the word is no
// number of that type.
bool store_text_value(const type_info& type, bool colours, const char* begin, const char* end,
                      char* to);

// Stores a real read from text as store_text_value does, in an array of reals or colours.
void store_real(const type_info& type, bool colours, double value, char* to);
// Stores an integer read from text as store_text_value does, in an array of integers or bits.
void store_integer(const type_info& type, const integer_word& word, char* to);

} // namespace vox::legacy
