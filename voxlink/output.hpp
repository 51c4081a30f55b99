// Where companions go and how they are written: named beside their file by default, the data
// files named relative to the companion's folder, and each written whole or not at all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vox::companion {

// `path` with its extension (if its name has one) replaced by `extension`.
std::string beside(const std::string& path, std::string_view extension);

// The name by which a companion at `companion_path` reaches `data_path` (as found from the
// current folder): relative to the companion's folder, so that the two can be moved together.
// Empty when the companion's folder cannot be resolved.
std::string relative_name(const std::string& data_path, const std::string& companion_path);

// Writes `text` to `path` whole or not at all: into a new file beside it, then renamed over it,
// and the folder synced. A file it replaces keeps its permissions; a new one has a new file's.
// Refuses to write over any of `keep` (the file and its samples' file), by identity, not by
// name. An empty text, or why it was not written.
std::string write_whole(const std::string& path, const std::string& text,
                        const std::vector<std::string>& keep);

} // namespace vox::companion
