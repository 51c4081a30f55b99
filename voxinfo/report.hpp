// The report on a file that was read: its lines as scripts read them, "  key: value", then the
// findings and the result.
#pragma once

#include "inspect.hpp"
#include "text.hpp"

#include <string>
#include <vector>

namespace vox::info {

std::string report_text(const contents& file, const std::vector<finding>& findings);

using legacy::printable;
// Numbers as the report writes them.
using legacy::plural;
using legacy::to_text;

} // namespace vox::info
