// The report on a file as text: its lines as scripts read them, "  key: value", then the findings
// and the result.
#pragma once

#include "content.hpp"
#include "text.hpp"

#include <string>

namespace vox::info {

std::string report_text(const content& c);

using legacy::printable;
// Numbers as the report writes them.
using legacy::plural;
using legacy::to_text;

} // namespace vox::info
