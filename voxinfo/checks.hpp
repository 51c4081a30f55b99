// What disagrees in a file that was read: each a problem (the parts of the file contradict each
// other, or values are lost) or a warning (VTK's reader would read it otherwise than written, or
// the values look wrong), in the order of the file.
#pragma once

#include "inspect.hpp"

#include <string>
#include <vector>

namespace vox::info {

struct finding {
    enum class kind { problem, warning } what;
    // What kind of finding it is, in a word that stays the same from version to version (the
    // manual page lists them); the text may say more in a later one.
    const char* code;
    std::string text;
};

std::vector<finding> check(const contents& file);

} // namespace vox::info
