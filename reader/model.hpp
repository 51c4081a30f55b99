// What a file in the legacy layout holds, as plain data: the header, the grid and every array with
// the place of its values in the file. The parser fills it in; the values themselves stream past
// sinks and are never kept here.
#pragma once

#include "values.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vox::legacy {

__extension__ typedef unsigned __int128 uint128;

enum class encoding { ascii, binary, binary_file };

// The DATASET line: none in the converters' own files.
enum class dataset_kind { none, structured_points, rectilinear_grid };

// The grid the geometry describes: spacing and origin, coordinate arrays, or (in the converters'
// files only) spacing and origin in x and y with the location of every slice along z.
enum class grid_kind { uniform, rectilinear, slice_stack };

enum class attribute {
    coordinates,         // X_, Y_ and Z_COORDINATES, and LOCATIONS (as z)
    scalars,             // SCALARS, with its LOOKUP_TABLE line
    color_scalars,       // COLOR_SCALARS: bytes in BINARY, reals from 0 to 1 in ASCII
    vectors,             // VECTORS: three components
    normals,             // NORMALS: three components
    texture_coordinates, // TEXTURE_COORDINATES: one to three components
    tensors,             // TENSORS (nine components) and TENSORS6 (six)
    lookup_table,        // LOOKUP_TABLE definitions: four components, RGBA
    field,               // the arrays of a FIELD block
};

// Where an array belongs.
enum class section { geometry, point_data, cell_data, field_data };

// Names, type words and lookup table names are kept to this many bytes, with "..." behind when
// they are longer, so that a file of many arrays with long names is held in little memory.
constexpr std::size_t longest_name = 128;

struct array_info {
    attribute kind = attribute::scalars;
    section where = section::geometry;
    // The keyword as the file spells it, and the line it stands on.
    std::string keyword;
    std::uint64_t line = 0;
    std::string name;      // the array's name; for coordinates, the keyword
    std::string type_word; // as written; COLOR_SCALARS have none ("unsigned_char" is implied)
    const type_info* type = nullptr; // none for a word of unknown size
    unsigned components = 1;
    std::uint64_t tuples = 0; // as the header declares them
    std::size_t axis = 0;     // coordinates: 0, 1 or 2
    std::string lookup_table; // SCALARS: the name on its LOOKUP_TABLE line
    // Where the values lie: from `offset`, `bytes` bytes as found (for text, from the first byte
    // after the keyword line to the end of the last value), and for text the number of words.
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
    std::uint64_t words = 0;
    // The samples in text: where a word starts, and how many come before it in the array, at
    // most `most_marks` of them about evenly apart, the first word the first; so that a reader
    // can start at any of them without counting the words before.
    struct mark {
        std::uint64_t offset = 0;
        std::uint64_t index = 0;
    };
    std::vector<mark> marks;
    static constexpr std::size_t most_marks = 1024;
    bool metadata = false; // a METADATA block followed the values
    // Values that are no numbers (a FIELD array of strings or variants): `words` counts them.
    bool strings = false;

    std::uint64_t values() const { return tuples * components; }
};

struct file_model {
    std::string version; // of the magic line: "2.0", "5.1"
    std::string title;
    encoding coding = encoding::binary;
    std::string encoding_word; // as written
    std::string reference;     // BINARY_FILE: the path of the samples
    dataset_kind dataset = dataset_kind::none;
    grid_kind grid = grid_kind::uniform;
    std::array<std::uint32_t, 3> dimensions{};
    bool has_dimensions = false;
    // Two values for a slice stack, three otherwise; VTK's defaults where a line is missing.
    unsigned reals = 3;
    std::array<double, 3> spacing{1, 1, 1};
    std::array<double, 3> origin{0, 0, 0};
    bool spacing_given = false, origin_given = false;
    std::string spacing_keyword; // SPACING or ASPECT_RATIO, as written
    std::optional<std::uint64_t> point_data, cell_data;
    std::vector<array_info> arrays; // in the order of the file
    // The active scalars, which the converters call the samples: the first SCALARS or
    // COLOR_SCALARS of POINT_DATA, as an index into `arrays`.
    std::optional<std::size_t> samples;
    // In reference mode, the bytes that follow the header, where there should be none.
    std::uint64_t trailing = 0;

    uint128 points() const { return uint128{dimensions[0]} * dimensions[1] * dimensions[2]; }
    // Cells as VTK counts them on a structured grid: each dimension above 1, less one.
    uint128 cells() const {
        uint128 n = 1;
        for (const std::uint32_t d : dimensions) {
            n *= d > 1 ? d - 1 : d;
        }
        return n;
    }
};

} // namespace vox::legacy
