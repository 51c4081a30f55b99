// The reader library on its own: file bytes in, the model out (or why it is refused). One row a
// form that other writers use and VTK's reader takes, and one for each way a file may end early.
#include "parser.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <sstream>

namespace {

using namespace vox::legacy;

std::string big_endian_floats(std::initializer_list<float> values) {
    std::string out;
    for (const float v : values) {
        const auto bits = std::bit_cast<std::uint32_t>(v);
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += static_cast<char>((bits >> shift) & 0xffU);
        }
    }
    return out;
}

// The model in a few lines: the header, then an array a line with where its values lie.
std::string describe(const file_model& m) {
    const char* const codings[] = {"ascii", "binary", "binary_file"};
    const char* const datasets[] = {"none", "structured_points", "rectilinear_grid"};
    const char* const grids[] = {"uniform", "rectilinear", "slice_stack"};
    const char* const sections[] = {"geometry", "point", "cell", "field"};
    std::ostringstream out;
    out << m.version << " " << codings[static_cast<int>(m.coding)] << " "
        << datasets[static_cast<int>(m.dataset)] << " " << grids[static_cast<int>(m.grid)]
        << " dims " << m.dimensions[0] << " " << m.dimensions[1] << " " << m.dimensions[2];
    if (m.spacing_given || m.origin_given) {
        out << " spacing";
        for (unsigned i = 0; i < m.reals; ++i) {
            out << " " << m.spacing[i];
        }
        out << " origin";
        for (unsigned i = 0; i < m.reals; ++i) {
            out << " " << m.origin[i];
        }
    }
    out << " points " << (m.point_data ? std::to_string(*m.point_data) : "-") << " cells "
        << (m.cell_data ? std::to_string(*m.cell_data) : "-") << " samples "
        << (m.samples ? std::to_string(*m.samples) : "-");
    for (const array_info& a : m.arrays) {
        out << "\n"
            << sections[static_cast<int>(a.where)] << " " << a.keyword << " " << a.name << " "
            << a.type_word << (a.type == nullptr ? "?" : "") << " " << a.components << "x"
            << a.tuples << " @" << a.offset << "+" << a.bytes;
        if (m.coding == encoding::ascii) {
            out << " w" << a.words;
        }
        out << (a.metadata ? " metadata" : "") << (a.lookup_table.empty() ? "" : " lut ")
            << a.lookup_table;
    }
    return out.str();
}

struct parse_case {
    const char* name;
    std::string bytes;
    std::string model; // or the failure's message, after "refused: " or "layout: "
};

const std::string sp = "# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\n";
const std::string geometry = "DIMENSIONS 2 1 1\nSPACING 1 1 1\nORIGIN 0 0 0\n";
const std::string head = sp + geometry;
const std::string binary = "# vtk DataFile Version 5.1\nt\nBINARY\nDATASET STRUCTURED_POINTS\n" +
                           geometry + "POINT_DATA 2\n";

// `count` numbers in the forms VTK's reader takes, after blanks of every kind, a few a line:
// long enough that a framer counts them in strides.
std::string numbers(int count) {
    const char* const blanks[] = {" ", "\t", "  ", "\r\n", " \v\f ", "\n"};
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i * 7919 % 100003);
        const std::string forms[] = {n, "-" + n + ".25", "+." + n + "e-7", n + "E+3", "1e" + n};
        out += forms[i % 5] + (i + 1 < count ? blanks[i % 6] : "");
    }
    return out;
}

// FIELD arrays of ever more numbers, each named by a number, as the next one's name may be.
std::string field_arrays(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += std::to_string(i) + " 1 " + std::to_string(100 + i * 7) + " double\n" +
               numbers(100 + i * 7) + "\n";
    }
    return out;
}

const parse_case cases[] = {
    // Versions and the forms of the geometry.
    {"version 1.0 with ASPECT_RATIO, ORIGIN first",
     "# vtk DataFile Version 1.0\nt\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 2 1 1\n"
     "ORIGIN 1 2 3\nASPECT_RATIO 0.5 1 1\nPOINT_DATA 2\nSCALARS s float\nLOOKUP_TABLE default\n"
     "1 2\n",
     "1.0 ascii structured_points uniform dims 2 1 1 spacing 0.5 1 1 origin 1 2 3 points 2 "
     "cells - samples 0\npoint SCALARS s float 1x2 @162+4 w2 lut default"},
    {"lower case, CRLF, blank lines and tabs",
     "# vtk DataFile Version 4.2\r\nt\r\n\r\nascii\r\ndataset structured_points\r\n\r\n"
     "dimensions\t2 1 1\r\nspacing 1 1 1\r\norigin 0 0 0\r\npoint_data 2\r\n"
     "scalars s FLOAT\r\nlookup_table default\r\n1\t2\r\n",
     "4.2 ascii structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells - "
     "samples 0\npoint scalars s FLOAT 1x2 @169+5 w2 lut default"},
    {"dimensions of 20 digits, leading zeros and all",
     sp + "DIMENSIONS 00000000000000000002 00000000000000000001 1\nPOINT_DATA 2\n"
          "SCALARS s int\nLOOKUP_TABLE default\n1 2\n",
     "3.0 ascii structured_points uniform dims 2 1 1 points 2 cells - samples 0\n"
     "point SCALARS s int 1x2 @164+4 w2 lut default"},
    {"no spacing or origin: VTK's defaults",
     sp + "DIMENSIONS 2 1 1\nPOINT_DATA 2\nSCALARS s int\nLOOKUP_TABLE default\n1 2\n",
     "3.0 ascii structured_points uniform dims 2 1 1 points 2 cells - samples 0\n"
     "point SCALARS s int 1x2 @126+4 w2 lut default"},

    // What follows the samples is not part of them.
    {"samples followed by every other attribute",
     head + "CELL_DATA 1\nSCALARS c short\nLOOKUP_TABLE default\n7\nPOINT_DATA 2\n"
            "SCALARS s float 2\nLOOKUP_TABLE my_table\n1 2 3 4\nVECTORS v double\n1 2 3 4 5 6\n"
            "NORMALS n float\n0 0 1 0 1 0\nTEXTURE_COORDINATES tc 2 float\n0 0 1 1\n"
            "TENSORS t float\n1 0 0 0 1 0 0 0 1 1 0 0 0 1 0 0 0 1\nTENSORS6 t6 float\n"
            "1 1 1 0 0 0 2 2 2 0 0 0\nLOOKUP_TABLE my_table 1\n0 0.5 1 1\n"
            "FIELD FieldData 2\nf1 1 2 int\n5 6\nf2 2 1 float\n7 8\nSCALARS second int\n"
            "LOOKUP_TABLE default\n9 9\n",
     "3.0 ascii structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells 1 "
     "samples 1\ncell SCALARS c short 1x1 @154+2 w1 lut default\n"
     "point SCALARS s float 2x2 @209+8 w4 lut my_table\npoint VECTORS v double 3x2 @234+12 w6\n"
     "point NORMALS n float 3x2 @262+12 w6\npoint TEXTURE_COORDINATES tc float 2x2 @305+8 w4\n"
     "point TENSORS t float 9x2 @329+36 w18\npoint TENSORS6 t6 float 6x2 @383+24 w12\n"
     "point LOOKUP_TABLE my_table float 4x1 @431+10 w4\npoint FIELD f1 int 1x2 @470+4 w2\n"
     "point FIELD f2 float 2x1 @487+4 w2\npoint SCALARS second int 1x2 @531+4 w2 lut default"},
    {"binary values, each followed by the line feed VTK writes, then METADATA",
     binary + "SCALARS s float\nLOOKUP_TABLE default\n" + big_endian_floats({1, 2}) +
         "\nMETADATA\nINFORMATION 0\n\nVECTORS v float\n" + big_endian_floats({1, 2, 3, 4, 5, 6}) +
         "\n",
     "5.1 binary structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells - "
     "samples 0\npoint SCALARS s float 1x2 @156+8 metadata lut default\n"
     "point VECTORS v float 3x2 @205+24"},
    {"binary values that run into the next keyword, and bits packed",
     binary + "SCALARS s bit\nLOOKUP_TABLE default\n\x80VECTORS v unsigned_char\nabcdef",
     "5.1 binary structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells - "
     "samples 0\npoint SCALARS s bit 1x2 @154+1 lut default\n"
     "point VECTORS v unsigned_char 3x2 @179+6"},
    {"binary samples with bytes after them that are no keyword: all of it",
     binary + "SCALARS s short\nLOOKUP_TABLE default\n\x01\x02\x03\x04\n junk",
     "5.1 binary structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells - "
     "samples 0\npoint SCALARS s short 1x2 @156+10 lut default"},
    {"colour scalars as bytes and as reals, a dataset FIELD before DIMENSIONS",
     "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET STRUCTURED_POINTS\nFIELD FieldData 1\n"
     "TIME 1 1 double\n" +
         std::string(8, '\0') + "\nDIMENSIONS 2 1 1\nPOINT_DATA 2\nCOLOR_SCALARS rgb 3\nabcdef\n",
     "3.0 binary structured_points uniform dims 2 1 1 points 2 cells - samples 1\n"
     "field FIELD TIME double 1x1 @96+8\npoint COLOR_SCALARS rgb unsigned_char 3x2 @155+6"},

    {"long text arrays: a keyword run into the last number, a count met, a number as a name",
     head + "POINT_DATA 2\nSCALARS s float\nLOOKUP_TABLE default\n1 2\nVECTORS v float\n" +
         numbers(999) + " 42NORMALS n float\n" + numbers(600) + "\nFIELD f 9\n" + field_arrays(8) +
         "12 1 2 int\n5 6\n",
     "3.0 ascii structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells - "
     "samples 0\npoint SCALARS s float 1x2 @155+4 w2 lut default\n"
     "point VECTORS v float 3x2 @175+9510 w1000\npoint NORMALS n float 3x2 @9701+5709 w600\n"
     "point FIELD 0 double 1x100 @15435+946 w100\npoint FIELD 1 double 1x107 @16396+1011 w107\n"
     "point FIELD 2 double 1x114 @17422+1083 w114\npoint FIELD 3 double 1x121 @18520+1145 w121\n"
     "point FIELD 4 double 1x128 @19680+1214 w128\npoint FIELD 5 double 1x135 @20909+1280 w135\n"
     "point FIELD 6 double 1x142 @22204+1343 w142\npoint FIELD 7 double 1x149 @23562+1413 w149\n"
     "point FIELD 12 int 1x2 @24986+4 w2"},
    {"the lines of long text arrays counted",
     head + "POINT_DATA 2\nSCALARS s float\nLOOKUP_TABLE default\n1 2\nVECTORS v float\n" +
         numbers(2999) + "\nSCALARS t int\nbad\n",
     "layout: line 1014: expected \"LOOKUP_TABLE NAME\", found \"bad\""},

    // Rectilinear grids: the arrays end where their values end.
    {"rectilinear text whose values run into the next keyword, then CELL_DATA",
     "# vtk DataFile Version 3.0\nt\nASCII\nDATASET RECTILINEAR_GRID\nDIMENSIONS 3 1 1\n"
     "X_COORDINATES 3 float\n0 1 2Y_COORDINATES 1 float\n0\nZ_COORDINATES 1 double\n5\n"
     "CELL_DATA 2\nFIELD FieldData 1\nid 1 2 int\n1 2\n",
     "3.0 ascii rectilinear_grid rectilinear dims 3 1 1 points - cells 2 samples -\n"
     "geometry X_COORDINATES X_COORDINATES float 1x3 @99+5 w3\n"
     "geometry Y_COORDINATES Y_COORDINATES float 1x1 @126+2 w1\n"
     "geometry Z_COORDINATES Z_COORDINATES double 1x1 @151+2 w1\ncell FIELD id int 1x2 @194+4 w2"},
    {"the converters' slice stack, binary locations before a tab",
     "# vtk DataFile Version 2.0\nOutput from voxslab\nBINARY\nDIMENSIONS  1 1 2\n"
     "SPACING  1.000000 1.000000\nORIGIN  0.000000 0.000000\nLOCATIONS 2 float\n" +
         big_endian_floats({0, 2}) +
         "POINT_DATA\t2\nSCALARS scalars  short\nLOOKUP_TABLE default\n" + "\x01\x02\x03\x04",
     "2.0 binary none slice_stack dims 1 1 2 spacing 1 1 origin 0 0 points 2 cells - samples 1\n"
     "geometry LOCATIONS LOCATIONS float 1x2 @143+8\n"
     "point SCALARS scalars short 1x2 @208+4 lut default"},
    {"reference mode: the header and nothing after it",
     "# vtk DataFile Version 2.0\nOutput from voxeven\nBINARY_FILE a b.raw\nDIMENSIONS  1 1 1\n"
     "SPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  1\nSCALARS scalars  float\n"
     "LOOKUP_TABLE default\nxyz",
     "2.0 binary_file none uniform dims 1 1 1 spacing 1 1 1 origin 0 0 0 points 1 cells - "
     "samples 0\npoint SCALARS scalars float 1x1 @172+0 lut default"},

    // Refused, and not in the layout.
    {"a dimension past 32 bits",
     "# vtk DataFile Version 2.0\nOutput from voxeven\nBINARY\nDIMENSIONS  4294967299 1 1\n",
     "layout: line 4: expected \"DIMENSIONS  X Y Z\", found \"4294967299\""},
    {"POLYDATA", "# vtk DataFile Version 3.0\nt\nASCII\nDATASET POLYDATA\nPOINTS 1 float\n0 0 0\n",
     "refused: line 4: DATASET POLYDATA, whose points are listed one by one; only "
     "STRUCTURED_POINTS and RECTILINEAR_GRID files are read"},
    {"a FIELD file", "# vtk DataFile Version 3.0\nt\nASCII\nFIELD f 1\na 1 1 int\n1\n",
     "refused: line 4: a file of FIELD arrays only, without a grid; only STRUCTURED_POINTS and "
     "RECTILINEAR_GRID files are read"},
    {"FIELD arrays of strings, one a line, and variants as word pairs",
     head + "FIELD f 3\nnames 1 3 string\na b\n\nc\nv 2 1 variant\n6 12 11\nx\nn 1 1 int\n7\n",
     "3.0 ascii structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points - cells "
     "- samples -\nfield FIELD names string? 1x3 @132+7 w3\nfield FIELD v variant? 2x1 @152+10 "
     "w2\nfield FIELD n int 1x1 @173+2 w1"},
    {"binary strings after lengths of 1, 2, 4 and 8 bytes",
     binary + "FIELD f 2\nnames 4 1 utf8_string\n" +
         std::string("\xc3"
                     "abc\x80\x02"
                     "de",
                     8) +
         std::string("\x40\0\0\x01x\0\0\0\0\0\0\0\0", 13) + "\nn 1 1 int\n" +
         std::string("\0\0\0\x07", 4),
     "5.1 binary structured_points uniform dims 2 1 1 spacing 1 1 1 origin 0 0 0 points 2 cells "
     "- samples -\npoint FIELD names utf8_string? 4x1 @151+21\npoint FIELD n int 1x1 @183+4"},
    {"a FIELD array of another form, told by its number",
     head + "FIELD f 3\na 1 1 int\n5\nb 1 1 int\n6\nc 1 x int\n",
     "layout: line 13: expected \"NAME COMPONENTS TUPLES TYPE\" (array 3 of the FIELD), found "
     "\"x\""},
    {"a keyword line broken after binary values: where it is, in bytes",
     binary + "SCALARS s short\nLOOKUP_TABLE default\n\x01\n\x03\x04\nVECTORS v\n",
     "layout: byte 171: expected \"VECTORS NAME TYPE\", found the end of the file"},
    {"texture coordinates of a dimension past 3",
     head + "POINT_DATA 2\nTEXTURE_COORDINATES t 9 float\n0 0 1 1\n",
     "layout: line 9: expected \"TEXTURE_COORDINATES NAME DIMENSION TYPE\", found \"9\""},
    {"SCALARS of strings", head + "POINT_DATA 2\nSCALARS names string\nLOOKUP_TABLE default\na\n",
     "refused: line 9: \"SCALARS\" holds string values; only arrays of numbers are read"},
    {"SCALARS without its LOOKUP_TABLE line", head + "POINT_DATA 2\nSCALARS s float\n1 2\n",
     "layout: line 10: expected \"LOOKUP_TABLE NAME\", found \"2\""},
    {"an attribute before any data section", head + "VECTORS v float\n",
     "layout: line 8: expected \"SPACING  X Y Z\", \"ORIGIN  X Y Z\" or \"POINT_DATA  N\", found "
     "\"VECTORS\""},
    {"a keyword unknown in a data section", head + "POINT_DATA 2\nPOINTS 2 float\n",
     "layout: line 9: expected an attribute such as \"SCALARS NAME TYPE\", or \"POINT_DATA N\" or "
     "\"CELL_DATA N\", found \"POINTS\""},
};

class parse_rows : public testing::TestWithParam<parse_case> {};

TEST_P(parse_rows, model) {
    const parse_case& c = GetParam();
    memory_source bytes(c.bytes);
    file_model m;
    const parse_result r = parse(bytes, m);
    const char* const failures[] = {"", "reading: ", "layout: ", "refused: "};
    const std::string got = r.failed == parse_result::failure::none
                                ? describe(m)
                                : failures[static_cast<int>(r.failed)] + r.message;
    EXPECT_EQ(got, c.model);
}

INSTANTIATE_TEST_SUITE_P(table, parse_rows, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<parse_case>& row) {
                             std::string name;
                             for (const char* p = row.param.name; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

} // namespace
