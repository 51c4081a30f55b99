// Reads a file in the layout that the converters write, checks that its parts agree, and says what
// it holds: the grid, the encoding, where the samples are and what values they hold.
#pragma once

#include "input.hpp"

#include <string>

namespace vox::info {

struct options {
    // The file's path as given, for finding a referenced sample file beside it.
    std::string header_path;
    // Whether to look for the referenced sample file at all; without, its samples go unchecked.
    bool follow_reference = true;
};

struct report {
    // Why the file could not be inspected: none, or it could not be opened or read, or it is not
    // in the layout; `error` then says where and why ("line 4: expected ..., found ...").
    enum class failure { none, opening, reading, layout } failed = failure::none;
    std::string error;
    // The report, one "  key: value" line each, ending with the problems, the warnings and the
    // result; empty when the file could not be inspected.
    std::string text;
    unsigned problems = 0;
    unsigned warnings = 0;
};

report inspect(source& from, const options& how);

// Opens `path` and inspects it.
report inspect_file(const std::string& path);

} // namespace vox::info
