// The content of the report on a file, derived once from what was read and found in it, as typed
// values: numbers as numbers, ranges as pairs, absent figures as none. The text writer and the
// JSON writer each write this one content in their form.
#pragma once

#include "inspect.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vox::info {

using legacy::shown_value;
// The smallest and the largest of some values.
using span = std::pair<shown_value, shown_value>;

struct values_content {
    std::optional<span> range; // none where no value is finite
    std::uint64_t not_finite = 0;
};

struct reference_content {
    std::string path;                 // as the header names it
    std::optional<std::string> found; // where it was found, or none
    bool only_beside = false;
};

struct coordinates_content {
    std::size_t axis = 0;
    std::string keyword;
    std::uint64_t values = 0;
    std::optional<span> range; // none where no value is finite
};

struct samples_content {
    std::string array, name, type;
    // The size of a value: none for bits and a type word of unknown size.
    std::optional<unsigned> bytes_per_value;
    bool bits = false;
    std::uint64_t components = 1;
    // Where they are: the file, and where they start in it, how many bytes and (text) numbers
    // there are, where that is known; a referenced file not looked at, or not found, by its name.
    std::string file;
    std::optional<std::uint64_t> offset, bytes, numbers;
    bool looked_at = true;
    std::optional<std::string> dtype;
    // "big-endian", "little-endian" or "unknown" as judged, and why unknown.
    std::optional<std::string> byte_order, byte_order_unknown;
    std::vector<std::uint64_t> shape; // z to x, then the components where there are several
};

struct array_content {
    std::string section, keyword, name, type;
    std::uint64_t components = 0, tuples = 0;
    std::optional<values_content> values;
};

struct content {
    std::string path; // as given
    int status = 0;
    std::string version;
    legacy::grid_kind grid = legacy::grid_kind::uniform;
    legacy::encoding coding = legacy::encoding::binary;
    std::optional<reference_content> reference;
    std::optional<std::string> dataset; // the DATASET type, where the file has the line
    std::array<std::uint32_t, 3> dimensions{};
    legacy::uint128 points = 0;
    std::optional<std::vector<shown_value>> spacing, origin; // none for a rectilinear grid
    std::vector<coordinates_content> coordinates;
    std::array<std::optional<span>, 3> extent;
    std::optional<samples_content> samples;
    std::optional<values_content> values;
    std::vector<array_content> arrays;
    std::vector<finding> findings; // in the order found
    std::string result;
};

// The one walk over what was read of a file and found in it; `path` as it was given.
content derive_content(const contents& file, const std::vector<finding>& findings,
                       const std::string& path);

} // namespace vox::info
