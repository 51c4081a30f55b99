// Where the sample file lies that a header in reference mode names, for every reader of it.
#pragma once

#include <string>

namespace vox::legacy {

struct reference_place {
    std::string path;         // where it was found; empty when it was not
    bool only_beside = false; // found beside the header, not from the current folder
    bool regular = false;     // a regular file, which alone can hold the samples
    int error = 0;            // why the name as it stands was not found
};

// The name as it stands (from the current folder), or, when nothing is there and the name is
// relative, the same name beside the header at `header_path`.
reference_place find_reference(const std::string& name, const std::string& header_path);

} // namespace vox::legacy
