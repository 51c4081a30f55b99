// The report on a file as one JSON object on a line of its own (JSON Lines), for scripts: every
// figure of the text report under keys that stay the same, as the manual page lists them, written
// from the same content as the text report. Every key keeps one type: a number that is not
// finite is null.
#pragma once

#include "content.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vox::info {

// The object for a file that was read, without its line feed.
std::string report_json(const content& c);

// The object for a file that could not be read: its path, status 2, and why (`code` is
// "opening", "reading", "layout" or "refused"; `message` the diagnostic's text).
std::string failure_json(const std::string& path, const char* code, const std::string& message);

// Bytes as a JSON string, quotes included: UTF-8 as it is, quotes, backslashes and control
// characters escaped, and each byte that is not part of valid UTF-8 (a surrogate encoded in it
// too) as U+FFFD, the replacement character, which every JSON reader takes.
std::string json_string(std::string_view bytes);

} // namespace vox::info
