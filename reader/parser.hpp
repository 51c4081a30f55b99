// The grammar of the legacy layout, in one place: reads the header and every array of a file into
// a file_model, and streams the values of each array past a sink, in constant memory.
//
// It reads the converters' own files (no DATASET line; spacing, coordinates or slice locations;
// samples embedded or named in reference mode) and the structured forms other programs write
// (DATASET STRUCTURED_POINTS or RECTILINEAR_GRID, file versions 1.0 to 5.x, POINT_DATA and
// CELL_DATA with every attribute, FIELD blocks, METADATA), with the freedom VTK's reader allows:
// keywords in any case, CRLF line ends, blank lines and tabs, a line feed after binary values, text
// values that run into the next keyword.
#pragma once

#include "input.hpp"
#include "model.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vox::legacy {

// Gives the parser a sink for the values of each array as it comes to them.
class value_provider {
  public:
    virtual ~value_provider() = default;
    // A sink for the values of `array`, the last of `model.arrays` so far; none to pass them by.
    virtual value_sink* values_of(const file_model& model, const array_info& array) = 0;
};

struct parse_result {
    enum class failure {
        none,
        reading, // the source could not be read
        layout,  // the bytes are not in the layout: `message` says where and why
        refused, // another kind of dataset, which this reader does not read: `message` names it
    } failed = failure::none;
    std::string message;
};

parse_result parse(source& from, file_model& model, value_provider* values = nullptr);

// The version of a magic line ("# vtk DataFile Version 2.0" gives "2.0"), as the parser takes
// it; none for another line.
std::optional<std::string_view> magic_version(std::string_view line);

// Whether two words are the same in any case, as VTK's reader takes keywords.
bool same_word(std::string_view a, std::string_view b);

// Whether `word` is a keyword of the layout, in any case.
bool is_keyword(std::string_view word);

// A text as an error message shows it: quoted, cut short, with unprintable bytes escaped.
std::string shown(std::string_view text);

} // namespace vox::legacy
