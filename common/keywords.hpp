// The texts of the file layout, defined once for the writer and the reader alike. Plain character
// arrays, so that nothing here needs the C++ runtime library.
#pragma once

namespace vox::keyword {

// Line 1, the magic line, and the start of line 2 (the program name follows).
inline constexpr char magic[] = "# vtk DataFile Version 2.0";
inline constexpr char title[] = "Output from ";

// Line 3: the encoding. In reference mode a blank and the path of the samples follow.
inline constexpr char binary[] = "BINARY";
inline constexpr char ascii[] = "ASCII";
inline constexpr char binary_file[] = "BINARY_FILE";

// The dataset line that other writers put after line 3; this project's converters leave it out.
inline constexpr char dataset[] = "DATASET";
inline constexpr char structured_points[] = "STRUCTURED_POINTS";
inline constexpr char rectilinear_grid[] = "RECTILINEAR_GRID";

inline constexpr char dimensions[] = "DIMENSIONS";

// The grid sections: spacing and origin (two or three values), and the arrays whose keyword line,
// "KEYWORD COUNT float", is followed by a payload.
inline constexpr char spacing[] = "SPACING";
inline constexpr char origin[] = "ORIGIN";
inline constexpr char x_coordinates[] = "X_COORDINATES";
inline constexpr char y_coordinates[] = "Y_COORDINATES";
inline constexpr char z_coordinates[] = "Z_COORDINATES";
inline constexpr char locations[] = "LOCATIONS";
inline constexpr char array_type[] = "float";

// The point-data lines: "POINT_DATA  N", "SCALARS scalars  TYPE", "LOOKUP_TABLE default".
inline constexpr char point_data[] = "POINT_DATA";
inline constexpr char scalars[] = "SCALARS";
inline constexpr char scalars_name[] = "scalars";
inline constexpr char lookup_table[] = "LOOKUP_TABLE";
inline constexpr char lookup_table_name[] = "default";

} // namespace vox::keyword
