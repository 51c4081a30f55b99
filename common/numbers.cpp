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

} // namespace vox
