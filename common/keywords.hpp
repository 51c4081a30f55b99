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

// What other writers put into files of the same layout, and the reader takes too: the magic line
// of any version, the datasets besides the two structured ones, and the attributes and blocks
// that may follow the geometry.
inline constexpr char magic_prefix[] = "# vtk DataFile Version ";
inline constexpr char polydata[] = "POLYDATA";
inline constexpr char structured_grid[] = "STRUCTURED_GRID";
inline constexpr char unstructured_grid[] = "UNSTRUCTURED_GRID";
inline constexpr char aspect_ratio[] = "ASPECT_RATIO";
inline constexpr char cell_data[] = "CELL_DATA";
inline constexpr char color_scalars[] = "COLOR_SCALARS";
inline constexpr char vectors[] = "VECTORS";
inline constexpr char normals[] = "NORMALS";
inline constexpr char texture_coordinates[] = "TEXTURE_COORDINATES";
inline constexpr char tensors[] = "TENSORS";
inline constexpr char tensors6[] = "TENSORS6";
inline constexpr char field[] = "FIELD";
inline constexpr char metadata[] = "METADATA";
inline constexpr char null_array[] = "NULL_ARRAY";

} // namespace vox::keyword
