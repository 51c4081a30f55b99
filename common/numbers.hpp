// Conversions of command-line numbers and their text in the header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

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

    constexpr const char* c_str() const { return chars.data() + first; }
};

// The exact decimal product x * y * z; three 32-bit factors never overflow it.
constexpr decimal_text exact_product(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    constexpr std::uint64_t low32 = 0xffffffffU;
    // The product in three 32-bit limbs, least significant first.
    const std::uint64_t xy = std::uint64_t{x} * y;
    const std::uint64_t low = (xy & low32) * z;
    const std::uint64_t high = (xy >> 32) * z + (low >> 32);
    std::array<std::uint64_t, 3> limbs{low & low32, high & low32, high >> 32};

    decimal_text digits;
    do {
        std::uint64_t remainder = 0;
        for (auto limb = limbs.rbegin(); limb != limbs.rend(); ++limb) {
            const std::uint64_t current = (remainder << 32) | *limb;
            *limb = current / 10;
            remainder = current % 10;
        }
        digits.chars[--digits.first] = static_cast<char>('0' + remainder);
    } while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0);
    return digits;
}

// The largest product fills the buffer and leaves its null character in place: evaluated here, a
// buffer one byte short is a compile error (a write or read outside it), not a fault that the
// padding after it may hide.
static_assert(std::string_view(exact_product(0xffffffffU, 0xffffffffU, 0xffffffffU).c_str()) ==
              "79228162458924105385300197375");

} // namespace vox
