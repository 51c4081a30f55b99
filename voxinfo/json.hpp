// The report on a file as one JSON object on a line of its own (JSON Lines), for scripts: every
// figure of the text report under keys that stay the same, as the manual page lists them, written
// from the same content as the text report. Every key keeps one type: a number that is not
// finite is null.
#pragma once

#include "content.hpp"
#include "text.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vox::info {

// The object for a file that was read, without its line feed.
std::string report_json(const content& c);

// The object for a file that could not be read: its path, status 2, and why (`code` is
// "opening", "reading", "layout" or "refused"; `message` the diagnostic's text).
std::string failure_json(const std::string& path, const char* code, const std::string& message);

using legacy::json_string;

} // namespace vox::info
