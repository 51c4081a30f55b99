// The header lines of an output file, each written to the stream it is given. Write errors are
// left in the stream's error state; the run checks it when the stream is flushed or closed.
#pragma once

#include "keywords.hpp"

#include <cstdint>
#include <cstdio>
#include <span>

namespace vox {

// The encoding keyword of reference mode, where the header names the sample file.
inline constexpr const char* reference_keyword = keyword::binary_file;

// "# vtk DataFile Version 2.0" and "Output from PROGRAM".
void write_title_lines(std::FILE* out, const char* program);

// The encoding keyword; the reference keyword "BINARY_FILE" is followed by a blank and the
// referenced path.
void write_encoding_line(std::FILE* out, const char* keyword, const char* referenced_path);

void write_dimensions_line(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z);

// KEYWORD, two blanks, then the values in fixed notation with six decimals.
void write_reals_line(std::FILE* out, const char* keyword, std::span<const float> values);

// KEYWORD COUNT float: the line before an array payload such as X_COORDINATES or LOCATIONS.
void write_array_line(std::FILE* out, const char* keyword, std::uint32_t count);

// POINT_DATA with the exact point count, SCALARS with the type word, LOOKUP_TABLE.
void write_point_data_lines(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z,
                            const char* data_type);

} // namespace vox
