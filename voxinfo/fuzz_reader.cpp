// libFuzzer entry: any bytes as a whole file, read without looking for a referenced file.
#include "inspect.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vox::legacy::memory_source bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    const vox::info::report r =
        vox::info::inspect(bytes, {.header_path = "", .follow_reference = false});
    // A report ends with its result line; a failure has no report, and says why when the layout
    // is at fault.
    using failure = vox::info::report::failure;
    const bool reported =
        r.text.ends_with("\n") && r.text.find("\n  result: ") != std::string::npos;
    const bool explained = r.failed == failure::layout || r.failed == failure::refused;
    if (reported != (r.failed == failure::none) || explained == r.error.empty()) {
        __builtin_trap();
    }
    // Nothing of the file reaches a terminal as it is: no control character in a message, and
    // none in the report but the line feeds that end its lines.
    const auto escaped = [](std::string_view text, bool lines) {
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c < 0x20 && !(lines && c == '\n')) || c == 0x7f) {
                return false;
            }
        }
        return true;
    };
    if (!escaped(r.error, false) || !escaped(r.text, true)) {
        __builtin_trap();
    }
    return 0;
}
