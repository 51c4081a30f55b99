// libFuzzer entry: any bytes as a whole file, read without looking for a referenced file.
#include "reader.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vox::info::memory_source bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    const vox::info::report r =
        vox::info::inspect(bytes, {.header_path = "", .follow_reference = false});
    // A report always ends with its result line; a failure always says why.
    if ((r.failed == vox::info::report::failure::none) == r.text.empty() ||
        (r.failed == vox::info::report::failure::layout && r.error.empty())) {
        __builtin_trap();
    }
    return 0;
}
