// Conversions of command-line numbers and their text in the header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vox {

// A grid dimension: the decimal value of the argument (leading blanks, an optional sign, digits up
// to the first non-digit; 0 when none) reduced to its low 32 bits. Values beyond the 64-bit range
// saturate first, so they come out as 4294967295 or 0.
std::uint32_t parse_dimension(const char* text);

// A spacing or origin component: the argument as a double, rounded at once to single precision.
// Anything the C library reads as a number is taken (exponents, hexadecimal, inf, nan); text that
// is no number gives 0.
float parse_real(const char* text);

// A double rounded to the nearest float, ties to even; magnitudes beyond the float range become
// infinities of the same sign.
float to_single(double value);

// A number's decimal digits in a buffer of their own, ended by a null character.
struct decimal_text {
    // Three 32-bit factors give at most 29 digits: (2^32 - 1)^3 < 10^29.
    static constexpr std::size_t max_digits = 29;
    std::array<char, max_digits + 1> chars{};
    std::size_t first = max_digits; // where the digits start; the null character is last

    const char* c_str() const { return chars.data() + first; }
};

// The exact decimal product x * y * z; three 32-bit factors never overflow it.
decimal_text exact_product(std::uint32_t x, std::uint32_t y, std::uint32_t z);

} // namespace vox
