// The report on a file that was read: its lines as scripts read them, "  key: value", then the
// findings and the result.
#pragma once

#include "checks.hpp"
#include "inspect.hpp"
#include "text.hpp"

#include <string>
#include <vector>

namespace vox::info {

std::string report_text(const contents& file, const std::vector<finding>& findings);

// A text from outside (a path, a word of the file) as it may stand in the report or a message:
// control characters as \xNN, so that none can move the cursor or make up a line.
std::string printable(std::string_view text);

// Numbers as the report writes them.
using legacy::plural;
using legacy::to_text;

} // namespace vox::info
