// libFuzzer entry: any bytes as a whole file, read without looking for a referenced file, at once
// and again in reads of small, changing sizes, which must give the same report.
#include "inspect.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// Hands out the bytes in reads of 1, 2, 5, 13, 64 and 3 bytes in turn, from a start that the
// length of the file picks.
class uneven_source final : public vox::legacy::source {
  public:
    explicit uneven_source(std::string_view bytes) : bytes_(bytes), turn_(bytes.size()) {}
    long read(char* buffer, std::size_t size) override {
        static constexpr std::size_t steps[] = {1, 2, 5, 13, 64, 3};
        const std::size_t n = std::min({size, steps[turn_++ % std::size(steps)], bytes_.size()});
        std::memcpy(buffer, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return static_cast<long>(n);
    }

  private:
    std::string_view bytes_;
    std::size_t turn_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    vox::legacy::memory_source bytes(file);
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
    // Nothing depends on where a read ends.
    uneven_source parts(file);
    const vox::info::report again =
        vox::info::inspect(parts, {.header_path = "", .follow_reference = false});
    if (again.failed != r.failed || again.error != r.error || again.text != r.text) {
        __builtin_trap();
    }
    return 0;
}
