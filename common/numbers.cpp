#include "numbers.hpp"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vox {

std::uint32_t parse_dimension(const char* text) {
    // strtoll saturates at the 64-bit limits where atoi would be undefined, and is 64 bits wide
    // on every platform (long is not); the conversion to an unsigned 32-bit value keeps the low
    // 32 bits of what it read.
    return static_cast<std::uint32_t>(std::strtoll(text, nullptr, 10));
}

float to_single(double value) {
    // Halfway between FLT_MAX and the next power of two: from here on, round-to-nearest gives an
    // infinity (FLT_MAX has an odd last digit, so the tie goes up as well).
    constexpr double overflow = static_cast<double>(FLT_MAX) + 0x1p103;
    if (std::isnan(value)) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        return std::signbit(value) ? -nan : nan;
    }
    if (std::fabs(value) >= overflow) {
        const float infinity = std::numeric_limits<float>::infinity();
        return value > 0 ? infinity : -infinity;
    }
    return static_cast<float>(value);
}

float parse_real(const char* text) {
    return to_single(std::strtod(text, nullptr));
}

decimal_text exact_product(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
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

} // namespace vox
