// Appending a file's bytes to the output unchanged.
#pragma once

#include <cstdio>

namespace vox {

enum class copy_status { complete, read_failed, write_failed };

// Copies every remaining byte of `in` to `out`, after what `out` has buffered, in constant memory.
// Stops at the first failed read or write and says which it was.
copy_status copy_payload(std::FILE* in, std::FILE* out);

} // namespace vox
