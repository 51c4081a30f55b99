#include "text.hpp"

namespace vox::legacy {

std::string to_text(uint128 value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::string plural(uint128 n, const char* one, const char* many) {
    return to_text(n) + " " + (n == 1 ? one : many);
}

} // namespace vox::legacy
