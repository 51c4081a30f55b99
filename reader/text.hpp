// Counts as messages and reports write them, for every reader of the model.
#pragma once

#include "model.hpp"

#include <string>

namespace vox::legacy {

// The decimal digits of a count, however large.
std::string to_text(uint128 value);

// "1 value", "2 values".
std::string plural(uint128 n, const char* one, const char* many);

} // namespace vox::legacy
