// voxinfo end to end: every row lays out files in a scratch folder, runs the built program on
// them, and checks the exit status, standard error and the key lines of the report.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using vox::test::run_program;
using vox::test::scratch_dir;
using vox::test::write_file;

const std::string title = "# vtk DataFile Version 2.0\nOutput from voxeven\n";
const std::string point_data = "POINT_DATA  8\nSCALARS scalars  short\nLOOKUP_TABLE default\n";

// A uniform 2 x 2 x 2 header as voxeven writes it.
std::string uniform(const std::string& encoding, const std::string& tail = point_data) {
    return title + encoding +
           "\nDIMENSIONS  2 2 2\nSPACING  1.000000 1.000000 2.500000\n"
           "ORIGIN  0.000000 0.000000 -1.000000\n" +
           tail;
}

// Values as big-endian bytes, or little-endian ones.
template <typename T>
std::string bytes_of(std::initializer_list<T> values, bool big = true) {
    std::string out;
    for (const T value : values) {
        using U =
            std::conditional_t<sizeof(T) == 2, std::uint16_t,
                               std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>;
        const auto bits = std::bit_cast<U>(value);
        for (unsigned i = 0; i < sizeof(T); ++i) {
            const auto shift = static_cast<unsigned>(big ? 8 * (sizeof(T) - 1 - i) : 8 * i);
            out += static_cast<char>((bits >> shift) & 0xffU);
        }
    }
    return out;
}

const std::string eight_shorts = bytes_of<std::int16_t>({-3, 0, 1, 2, 3, 4, 5, 300});

// Four doubles of 1 stored little-endian: as big-endian doubles, denormals.
const std::string little_endian_ones = [] {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes += std::string("\0\0\0\0\0\0\xf0\x3f", 8);
    }
    return bytes;
}();

// `part` again and again.
std::string repeated(const std::string& part, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += part;
    }
    return out;
}

struct info_case {
    std::string name;
    std::map<std::string, std::string> files = {}; // a name ending in '/' is a folder
    std::vector<std::string> args = {"f.vtk"};
    int status = 0;
    std::vector<std::string> lines = {}; // whole lines of standard output, in this order
    std::string err = "";                // standard error, exactly
    // Files that only their owner may read: the row runs as another user, as root reads all.
    std::vector<std::string> unreadable = {};
};

void PrintTo(const info_case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

const info_case cases[] = {
    // The three grids, both encodings, reference mode and the dataset line.
    {.name = "uniform BINARY file read big-endian",
     .files = {{"f.vtk", uniform("BINARY") + eight_shorts}},
     .lines = {"f.vtk:", "  grid: uniform", "  encoding: BINARY, samples embedded",
               "  dataset: none; VTK's legacy readers need \"DATASET STRUCTURED_POINTS\" after "
               "line 3",
               "  dimensions: 2 2 2", "  points: 8", "  spacing: 1 1 2.5", "  origin: 0 0 -1",
               "  extent: x 0 to 1, y 0 to 1, z -1 to 1.5",
               "  samples: short (2 bytes), 16 bytes from byte 202", "  values: -3 to 300",
               "  result: consistent"}},
    {.name = "rectilinear ASCII file",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  3 2 1\nX_COORDINATES 3 float\n0 0.5 1.5\n"
                                 "Y_COORDINATES 2 float\n-1 1\nZ_COORDINATES 1 float\n7\n"
                                 "POINT_DATA  6\nSCALARS scalars  float\nLOOKUP_TABLE default\n"
                                 "1.5 -2e3 0\n3 nan 4\n"}},
     .lines = {"  grid: rectilinear",
               "  dataset: none; VTK's legacy readers need \"DATASET RECTILINEAR_GRID\" after "
               "line 3",
               "  x: 3 values, 0 to 1.5", "  y: 2 values, -1 to 1", "  z: 1 value, 7 to 7",
               "  extent: x 0 to 1.5, y -1 to 1, z 7 to 7",
               "  samples: float as text, 6 numbers in 19 bytes from byte 212",
               "  values: -2000 to 4, 1 not finite",
               "  warning: samples: 1 number that VTK's reader cannot read, the first \"nan\" at "
               "byte 225 (it reads no nan, no inf, nothing beyond float)",
               "  result: consistent, 1 warning"}},
    {.name = "slice stack with binary locations",
     .files = {{"f.vtk", title +
                             "BINARY\nDIMENSIONS  1 2 3\nSPACING  0.500000 0.500000\n"
                             "ORIGIN  -1.000000 0.000000\nLOCATIONS 3 float\n" +
                             bytes_of<float>({-2, 0.25f, 8}) +
                             "POINT_DATA  6\nSCALARS scalars  unsigned_char\n"
                             "LOOKUP_TABLE default\n\x01\x02\x03\x04\x05\xff"}},
     .lines = {"  grid: slice stack",
               "  dataset: none; a slice stack has no standard dataset type, so VTK's legacy "
               "readers cannot read it",
               "  spacing: 0.5 0.5", "  origin: -1 0", "  z locations: 3 values, -2 to 8",
               "  extent: x -1 to -1, y 0 to 0.5, z -2 to 8", "  values: 1 to 255",
               "  result: consistent"}},
    {.name = "dataset line, single blanks and a component count",
     .files = {{"f.vtk", title +
                             "BINARY\nDATASET STRUCTURED_POINTS\nDIMENSIONS 2 2 2\n"
                             "SPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 8\n"
                             "SCALARS density short 1\nLOOKUP_TABLE default\n" +
                             eight_shorts}},
     .lines = {"  dataset: STRUCTURED_POINTS", "  result: consistent"}},
    {.name = "rectilinear grid dataset line",
     .files = {{"f.vtk", title + "ASCII\nDATASET RECTILINEAR_GRID\nDIMENSIONS 1 1 1\n"
                                 "X_COORDINATES 1 double\n0\nY_COORDINATES 1 double\n0\n"
                                 "Z_COORDINATES 1 double\n0\nPOINT_DATA 1\n"
                                 "SCALARS v int\nLOOKUP_TABLE default\n-7\n"}},
     .lines = {"  grid: rectilinear", "  dataset: RECTILINEAR_GRID", "  values: -7 to -7",
               "  result: consistent"}},
    {.name = "reference mode reads the named file",
     .files = {{"data/", ""},
               {"data/vol.raw", eight_shorts},
               {"f.vtk", uniform("BINARY_FILE data/vol.raw")}},
     .lines = {"  encoding: BINARY_FILE, samples in data/vol.raw",
               "  dataset: none; VTK's legacy readers cannot read samples kept in another file",
               "  samples: short (2 bytes), 16 bytes in data/vol.raw", "  values: -3 to 300",
               "  warning: samples in another file: VTK's legacy readers cannot read them, with or "
               "without a DATASET line; convert with BINARY instead of BINARY_FILE to embed them "
               "for VTK",
               "  result: consistent, 1 warning"}},

    // Problems.
    {.name = "POINT_DATA that is not the product of the dimensions",
     .files = {{"f.vtk", uniform("BINARY", "POINT_DATA  6\nSCALARS scalars  short\n"
                                           "LOOKUP_TABLE default\n") +
                             eight_shorts}},
     .status = 1,
     .lines = {"  problem: POINT_DATA is 6, expected 8 (2 x 2 x 2)", "  result: 1 problem"}},
    {.name = "binary samples of another type size",
     .files = {{"f.vtk", uniform("BINARY") + "12345678"}},
     .status = 1,
     .lines = {"  samples: short (2 bytes), 8 bytes from byte 202",
               "  problem: samples: expected 16 bytes (8 points x 2 bytes of short), found 8 "
               "(too few); that is 1 byte a point, the size of unsigned_char or char"}},
    {.name = "binary samples of a wrong z dimension",
     .files = {{"f.vtk", title +
                             "BINARY\nDIMENSIONS  2 2 3\nSPACING  1 1 1\nORIGIN  0 0 0\n"
                             "POINT_DATA  12\nSCALARS scalars  short\nLOOKUP_TABLE default\n" +
                             eight_shorts}},
     .status = 1,
     .lines = {"  problem: samples: expected 24 bytes (12 points x 2 bytes of short), found 16 "
               "(too few); that is 2 slices of 2 x 2"}},
    {.name = "binary samples one byte too many",
     .files = {{"f.vtk", uniform("BINARY") + eight_shorts + "x"}},
     .status = 1,
     .lines = {"  problem: samples: expected 16 bytes (8 points x 2 bytes of short), found 17 "
               "(too many)"}},
    {.name = "binary samples followed by the line feed VTK writes",
     .files = {{"f.vtk",
                uniform("BINARY") + bytes_of<std::int16_t>({10, 0, 1, 2, 3, 4, 5, 99}) + "\n"}},
     .lines = {"  samples: short (2 bytes), 16 bytes from byte 202", "  values: 0 to 99",
               "  result: consistent"}},
    {.name = "ASCII samples short of the points and not all numbers",
     .files = {{"f.vtk", uniform("ASCII") + "1 2 3\n4 5 six 7\n"}},
     .status = 1,
     .lines = {"  samples: short as text, 6 numbers in 16 bytes from byte 201",
               "  problem: samples: expected 8 numbers (the points), found 6",
               "  problem: samples: 1 word is not a number of type short, the first \"six\" at "
               "byte 211",
               "  result: 2 problems"}},
    {.name = "ASCII real samples with words that are no numbers, one a byte too long for one",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  double\n"
                                          "LOOKUP_TABLE default\n") +
                             "1 2 3 4 5 1" + std::string(127, '0') + " 1" + std::string(128, '0') +
                             " x\n"}},
     .status = 1,
     .lines = {"  samples: double as text, 6 numbers in 271 bytes from byte 202",
               "  values: 1 to 1e+127",
               "  problem: samples: 2 words are not a number of type double, the first "
               "\"10000000000000000000000000000000\" at byte 341",
               "  result: 2 problems"}},
    {.name = "ASCII samples beyond a 64-bit integer or with a fraction",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  long\n"
                                          "LOOKUP_TABLE default\n") +
                             "-9223372036854775808 9223372036854775807 9223372036854775808 1.5 "
                             "0 0 0 0\n"}},
     .status = 1,
     .lines = {"  values: -9223372036854775808 to 9223372036854775807",
               "  problem: samples: 2 words are not a number of type long, the first "
               "\"9223372036854775808\" at byte 241"}},
    {.name = "ASCII samples of a 64-bit unsigned type below zero wrap as VTK loads them",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  unsigned_long\n"
                                          "LOOKUP_TABLE default\n") +
                             "1 2 3 4 5 6 7 -2\n"}},
     .lines = {"  values: 1 to 18446744073709551614",
               "  warning: samples: 1 number is beyond unsigned_long, the first \"-2\" at byte "
               "223; VTK's reader loads it as 18446744073709551614",
               "  result: consistent, 1 warning"}},
    {.name = "binary coordinates too short, and a count that is not the dimension",
     .files = {{"f.vtk", title + "BINARY\nDIMENSIONS  2 1 1\nX_COORDINATES 2 float\n" +
                             bytes_of<float>({0}) + "Y_COORDINATES 2 float\n" +
                             bytes_of<float>({0, 1}) + "Z_COORDINATES 1 float\n" +
                             bytes_of<float>({0}) +
                             "POINT_DATA  2\nSCALARS scalars  unsigned_char\n"
                             "LOOKUP_TABLE default\nab"}},
     .status = 1,
     .lines = {"  x: 1 value, 0 to 0",
               "  problem: X_COORDINATES: expected 8 bytes (2 x 4), found 4 (too few)",
               "  problem: Y_COORDINATES: the line says 2 values, expected 1 (the y dimension)",
               "  result: 2 problems"}},
    {.name = "ASCII coordinates without a final line feed run into the next keyword",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n0 1 2"
                                 "Y_COORDINATES 1 float\n0\nZ_COORDINATES 1 float\n0 1\n"
                                 "POINT_DATA  3\nSCALARS scalars  short\nLOOKUP_TABLE default\n"
                                 "1 2 3"}},
     .status = 1,
     .lines = {"  x: 3 values, 0 to 2", "  problem: Z_COORDINATES: expected 1 number, found 2",
               "  result: 1 problem"}},
    {.name = "locations that are not numbers",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  1 1 2\nSPACING  1 1\nORIGIN  0 0\n"
                                 "LOCATIONS 2 float\n0 1,5\nPOINT_DATA  2\n"
                                 "SCALARS scalars  short\nLOOKUP_TABLE default\n1 2\n"}},
     .status = 1,
     .lines = {"  z locations: 1 value, 0 to 0",
               "  problem: LOCATIONS: expected 2 numbers, found 1",
               "  problem: LOCATIONS: 1 word is not a number, the first \"1,5\" at byte 116"}},
    {.name = "referenced file missing",
     .files = {{"f.vtk", uniform("BINARY_FILE gone.raw")}},
     .status = 1,
     .lines = {"  problem: samples: the referenced file gone.raw is not found (No such file or "
               "directory)"}},
    {.name = "absolute reference missing, though its name is beside the header",
     .files = {{"sub/", ""},
               {"sub/vox_absent.raw", eight_shorts},
               {"sub/f.vtk", uniform("BINARY_FILE /vox_absent.raw")}},
     .args = {"sub/f.vtk"},
     .status = 1,
     .lines = {"  problem: samples: the referenced file /vox_absent.raw is not found (No such file "
               "or directory)",
               "  result: 1 problem, 1 warning"}},
    {.name = "referenced file is a folder",
     .files = {{"d/", ""}, {"f.vtk", uniform("BINARY_FILE d")}},
     .status = 1,
     .lines = {"  problem: samples: the referenced file d is not a regular file"}},
    {.name = "referenced file of the wrong size, and bytes after the header",
     .files = {{"v.raw", "1234"}, {"f.vtk", uniform("BINARY_FILE v.raw") + "x"}},
     .status = 1,
     .lines = {"  problem: BINARY_FILE: 1 byte follows the LOOKUP_TABLE line, expected none (the "
               "samples are in v.raw)",
               "  problem: samples in v.raw: expected 16 bytes (8 points x 2 bytes of short), "
               "found 4 (too few)"}},

    // Warnings.
    {.name = "referenced file found only beside the header",
     .files = {{"sub/", ""},
               {"sub/v.raw", eight_shorts},
               {"sub/f.vtk", uniform("BINARY_FILE v.raw")}},
     .args = {"sub/f.vtk"},
     .lines = {"  samples: short (2 bytes), 16 bytes in sub/v.raw",
               "  warning: samples: the referenced file v.raw is not found from the current "
               "folder, only beside the header as sub/v.raw; readers started elsewhere will not "
               "find it",
               "  result: consistent, 2 warnings"}},
    {.name = "little-endian samples",
     .files = {{"f.vtk",
                title +
                    "BINARY\nDIMENSIONS  32 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\n"
                    "POINT_DATA  32\nSCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n" +
                    bytes_of<std::uint16_t>({1000, 1001, 1003, 1004, 1006, 1008, 1010, 1013,
                                             1015, 1018, 1020, 1022, 1025, 1027, 1030, 1032,
                                             1035, 1037, 1040, 1042, 1045, 1047, 1050, 1052,
                                             1055, 1057, 1060, 1062, 1065, 1067, 1070, 1072},
                                            false)}},
     .lines = {"  warning: samples look little-endian: read with their bytes swapped they are "
               "far smoother; swap the bytes of each value before converting",
               "  result: consistent, 1 warning"}},
    {.name = "little-endian float samples",
     .files = {{"f.vtk", uniform("BINARY", "POINT_DATA  8\nSCALARS scalars  float\n"
                                           "LOOKUP_TABLE default\n") +
                             bytes_of<float>({0.5f, 1.25f, 2, 3.5f, 100, 7, 8.125f, 9}, false)}},
     .lines = {"  warning: samples look little-endian: read with their bytes swapped they are "
               "finite and plausible; swap the bytes of each value before converting"}},
    {.name = "little-endian coordinates that do not increase",
     .files = {{"f.vtk", title + "BINARY\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n" +
                             bytes_of<float>({1, 2, 3}, false) + "Y_COORDINATES 1 float\n" +
                             bytes_of<float>({0}) + "Z_COORDINATES 1 float\n" +
                             bytes_of<float>({0}) +
                             "POINT_DATA  3\nSCALARS scalars  unsigned_char\n"
                             "LOOKUP_TABLE default\nabc"}},
     .lines = {"  warning: X_COORDINATES do not increase: 9e-44 follows 4.6006e-41 at value 2",
               "  warning: X_COORDINATES look little-endian: read with their bytes swapped they "
               "are plausible and increasing; swap the bytes of each value before converting"}},
    {.name = "type word of unknown size, no judgement of byte order",
     .files = {{"f.vtk", uniform("BINARY", "POINT_DATA  8\nSCALARS scalars  rgb\n"
                                           "LOOKUP_TABLE default\n") +
                             little_endian_ones}},
     .lines = {"  samples: rgb (size unknown), 32 bytes from byte 200",
               "  warning: the type word \"rgb\" has no known size; the length of the samples is "
               "not checked",
               "  result: consistent, 1 warning"}},

    // Files that are not in the layout, and the command line.
    {.name = "another magic line",
     .files = {{"f.vtk", "# VTK DataFile Version 3.0\n"}},
     .status = 2,
     .err = "f.vtk: line 1: expected \"# vtk DataFile Version N.M\", found \"# VTK DataFile "
            "Version 3.0\"\n"},
    {.name = "header that ends early",
     .files = {{"f.vtk", title + "BINARY\nDIMENSIONS  2 2 2\n"}},
     .status = 2,
     .err = "f.vtk: line 5: expected \"SPACING  X Y Z\" or \"X_COORDINATES N float\", found the "
            "end of the file\n"},
    {.name = "dimension that is not a number, with carriage returns",
     .files = {{"f.vtk", title + "BINARY\r\nDIMENSIONS  2 2 x2\r\n"}},
     .status = 2,
     .err = "f.vtk: line 4: expected \"DIMENSIONS  X Y Z\", found \"x2\"\n"},
    {.name = "header line that never ends",
     .files = {{"f.vtk", title + std::string(100000, 'B')}},
     .status = 2,
     .err = "f.vtk: line 3: expected \"BINARY\", \"ASCII\" or \"BINARY_FILE PATH\", found a word "
            "longer than 8192 bytes: "
            "\"BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB\"...\n"},
    {.name = "coordinates never followed by the next keyword",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  1 1 1\nX_COORDINATES 1 float\n0\n"}},
     .status = 2,
     .err = "f.vtk: line 7: expected \"Y_COORDINATES N TYPE\", found the end of the file\n"},
    {.name = "binary coordinates far too long are a problem of their length",
     .files = {{"f.vtk", title + "BINARY\nDIMENSIONS  2 1 1\nX_COORDINATES 2 float\n" +
                             std::string(2000000, '\x01') + "Y_COORDINATES 1 float\n" +
                             bytes_of<float>({0}) + "Z_COORDINATES 1 float\n" +
                             bytes_of<float>({0}) +
                             "POINT_DATA  2\nSCALARS scalars  unsigned_char\n"
                             "LOOKUP_TABLE default\nab"}},
     .status = 1,
     .lines = {"  problem: X_COORDINATES: expected 8 bytes (2 x 4), found 2000000 (too many)",
               "  result: 1 problem, 1 warning"}},
    {.name = "control characters of the file are escaped in the report",
     .files = {{"f.vtk", uniform("BINARY_FILE \x1b[2J\r  result: consistent")}},
     .status = 1,
     .lines = {"  encoding: BINARY_FILE, samples in \\x1b[2J\\x0d  result: consistent",
               "  problem: samples: the referenced file \\x1b[2J\\x0d  result: consistent is "
               "not found (No such file or directory)",
               "  result: 1 problem, 1 warning"}},
    {.name = "FIELD array of more values than any byte count holds",
     .files = {{"f.vtk", title + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n"
                                 "FIELD f 2\na 65536 72057594037927936 float\n1 2 3\n"
                                 "b 1 1 float\n4\nPOINT_DATA 1\nSCALARS s float\n"
                                 "LOOKUP_TABLE default\n5\n"}},
     .status = 2,
     .err = "f.vtk: line 7: \"a\" declares 65536 x 72057594037927936 values, more than "
            "1152921504606846976\n"},
    {.name = "FIELD array of as many values as a byte count holds",
     .files = {{"f.vtk", title + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n"
                                 "FIELD f 1\na 16 72057594037927936 float\n1 2 3\n"
                                 "POINT_DATA 1\nSCALARS s float\nLOOKUP_TABLE default\n5\n"}},
     .status = 1,
     .lines = {"  array: dataset FIELD a, float, 16 components, 72057594037927936 tuples, 1 to 3",
               "  problem: FIELD a: expected 1152921504606846976 numbers, found 3"}},
    {.name = "long names cut short, between the characters of UTF-8",
     .files = {{"f.vtk", title +
                             "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n"
                             "FIELD f 1\na" +
                             repeated("\xc3\xa9", 100) + " 1 1 float\n1\n"}},
     .lines = {"  array: dataset FIELD a" + repeated("\xc3\xa9", 63) +
               "..., float, 1 component, 1 tuple, 1 to 1"}},
    {.name = "control characters of a FIELD array's name are escaped in a message",
     .files = {{"f.vtk", title + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n"
                                 "FIELD f 1\nv\x1b[2J\x07 65536 72057594037927936 float\n"}},
     .status = 2,
     .err = "f.vtk: line 7: \"v\\x1b[2J\\x07\" declares 65536 x 72057594037927936 values, more "
            "than 1152921504606846976\n"},
    {.name = "FIELD arrays of strings are passed over, and counted",
     .files = {{"f.vtk", title + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n"
                                 "FIELD f 2\nMeshName 1 1 string\nmesh\n"
                                 "VisItExpressions 3 2 string\na\nb\n"}},
     .status = 1,
     .lines = {"  array: dataset FIELD MeshName, string, 1 component, 1 tuple",
               "  array: dataset FIELD VisItExpressions, string, 3 components, 2 tuples",
               "  problem: FIELD VisItExpressions: expected 6 strings (2 x 3), found 2"}},
    {.name = "a reference as long as a path may be",
     .files = {{"v.raw", eight_shorts},
               {"f.vtk", uniform("BINARY_FILE " +
                                 [] {
                                     std::string path;
                                     for (int i = 0; i < 2040; ++i) {
                                         path += "./";
                                     }
                                     return path +
                                            "v.raw"; // 4085 bytes: the line is longer than 4 KiB
                                 }())}},
     .lines = {"  values: -3 to 300", "  result: consistent, 1 warning"}},
    {.name = "a missing file, a folder, a good file and a bad one: the worst status",
     .files = {{"d/", ""},
               {"good.vtk", uniform("BINARY") + eight_shorts},
               {"bad.vtk", uniform("BINARY") + "x"}},
     .args = {"none.vtk", "good.vtk", "d", "bad.vtk"},
     .status = 2,
     .lines = {"good.vtk:", "  result: consistent", "", "bad.vtk:", "  result: 1 problem"},
     .err = "Error opening none.vtk: No such file or directory\nError reading d: Is a directory\n"},
    {.name = "only problems give 1",
     .files = {{"good.vtk", uniform("BINARY") + eight_shorts},
               {"bad.vtk", uniform("BINARY") + "x"}},
     .args = {"bad.vtk", "good.vtk"},
     .status = 1,
     .lines = {"bad.vtk:", "good.vtk:"}},
    // Read as VTK reads them.
    {.name = "smooth little-endian floats, a fifth of them far out of range",
     .files = {{"f.vtk", title +
                             "BINARY\nDIMENSIONS  64 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\n"
                             "POINT_DATA  64\nSCALARS scalars  float\nLOOKUP_TABLE default\n" +
                             [] {
                                 std::string bytes;
                                 for (int i = 0; i < 64; ++i) {
                                     bytes += bytes_of<float>(
                                         {20.0f + 0.37f * static_cast<float>(i)}, false);
                                 }
                                 return bytes;
                             }()}},
     .lines = {"  warning: samples look little-endian: read with their bytes swapped they are "
               "finite and plausible; swap the bytes of each value before converting"}},
    {.name = "ASCII reals as large as a float, as VTK's reader reads them",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n"
                                 "-3.4028235e38 0 3.4028234663852886e+38\n"
                                 "Y_COORDINATES 1 float\n0\nZ_COORDINATES 1 float\n0\n"
                                 "POINT_DATA  3\nSCALARS scalars  float\nLOOKUP_TABLE default\n"
                                 "-3.4028234663852886e38 0 3.4028235e38\n"}},
     .lines = {"  x: 3 values, -3.4028235e+38 to 3.4028234663852886e+38",
               "  values: -3.4028234663852886e+38 to 3.4028235e+38", "  result: consistent"}},
    {.name = "ASCII reals that round past a float, halfway on, as VTK's reader fails on them",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n"
                                 "0 1 340282356779733661637539395458142568448\n"
                                 "Y_COORDINATES 1 float\n0\nZ_COORDINATES 1 float\n0\n"
                                 "POINT_DATA  3\nSCALARS scalars  float\nLOOKUP_TABLE default\n"
                                 "0 -340282356779733661637539395458142568448 3.4028236e38\n"}},
     .lines = {"  warning: X_COORDINATES: 1 number that VTK's reader cannot read, the first "
               "\"34028235677973366163753939545814\" at byte 97 (it reads no nan, no inf, "
               "nothing beyond float)",
               "  warning: samples: 2 numbers that VTK's reader cannot read, the first "
               "\"-3402823567797336616375393954581\" at byte 245 (it reads no nan, no inf, "
               "nothing beyond float)",
               "  result: consistent, 2 warnings"}},
    {.name = "ASCII integers beyond their type, as VTK's reader wraps them",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  unsigned_char\n"
                                          "LOOKUP_TABLE default\n") +
                             "1 2 300 4 5 6 7 -1\n"}},
     .lines = {"  values: 1 to 255",
               "  warning: samples: 2 numbers are beyond unsigned_char, the first \"300\" at byte "
               "213; VTK's reader loads it as 44",
               "  result: consistent, 1 warning"}},
    {.name = "ASCII integers beyond a wider type, which VTK's reader cannot read",
     .files = {{"f.vtk", uniform("ASCII") + "1 2 40000 4 5 6 7 8\n"}},
     .lines = {"  values: 1 to 8",
               "  warning: samples: 1 number that VTK's reader cannot read, the first \"40000\" at "
               "byte 205 (it reads no nan, no inf, nothing beyond short)",
               "  result: consistent, 1 warning"}},
    {.name = "spacing that places no point, or all at one, or backwards",
     .files = {{"f.vtk", title +
                             "BINARY\nDIMENSIONS  2 2 2\nSPACING  nan 0.000000 -1.000000\n"
                             "ORIGIN  0.000000 inf 0.000000\n" +
                             point_data + eight_shorts}},
     .status = 1,
     .lines = {"  problem: SPACING: the x spacing is nan; the points have no position",
               "  warning: SPACING: the y spacing is 0; all points along y lie at one position",
               "  warning: SPACING: the z spacing is -1; the points run from high to low along z",
               "  problem: ORIGIN: the y origin is inf; the points have no position",
               "  result: 2 problems, 2 warnings"}},
    {.name = "a file name that holds a line feed and an escape cannot forge report lines",
     .files = {{"a\n  result: consistent\x1b[2J.vtk", uniform("BINARY") + eight_shorts + "x"}},
     .args = {"a\n  result: consistent\x1b[2J.vtk"},
     .status = 1,
     .lines = {"a\\x0a  result: consistent\\x1b[2J.vtk:", "  result: 1 problem"}},
    {.name = "a structured file of another version with every attribute",
     .files = {{"f.vtk",
                "# vtk DataFile Version 5.1\nvtk output\nASCII\nDATASET STRUCTURED_POINTS\n"
                "DIMENSIONS 2 1 1\nSPACING 1 1 1\nORIGIN 0 0 0\nCELL_DATA 1\n"
                "FIELD FieldData 1\nzone 1 1 int\n3\nPOINT_DATA 2\n"
                "SCALARS temperature double 1\nLOOKUP_TABLE default\n1.5 -2\n"
                "VECTORS velocity float\n1 2 3 4 5 6\nMETADATA\nINFORMATION 0\n\n"}},
     .lines = {"  version: 5.1", "  grid: uniform", "  dataset: STRUCTURED_POINTS",
               "  samples: SCALARS temperature, double as text, 2 numbers in 7 bytes from byte 222",
               "  values: -2 to 1.5", "  array: cell FIELD zone, int, 1 component, 1 tuple, 3 to 3",
               "  array: point VECTORS velocity, float, 3 components, 2 tuples, 1 to 6",
               "  result: consistent"}},
    {.name = "a dataset that is not on a grid is refused by name",
     .files = {{"f.vtk", "# vtk DataFile Version 3.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n"}},
     .status = 2,
     .err = "f.vtk: line 4: DATASET UNSTRUCTURED_GRID, whose points are listed one by one; only "
            "STRUCTURED_POINTS and RECTILINEAR_GRID files are read\n"},
    // Coordinates of every width, and none finite.
    {.name = "64-bit integer coordinates",
     .files = {{"f.vtk", title + "BINARY\nDIMENSIONS  3 1 1\nX_COORDINATES 3 long\n" +
                             bytes_of<std::int64_t>({-5, 0, 9}) +
                             "Y_COORDINATES 1 unsigned_long\n" +
                             bytes_of<std::uint64_t>({std::uint64_t{1} << 40}) +
                             "Z_COORDINATES 1 float\n" + bytes_of<float>({1}) +
                             "POINT_DATA  3\nSCALARS scalars  unsigned_char\n"
                             "LOOKUP_TABLE default\n\x01\x02\x03"}},
     .lines = {"  x: 3 values, -5 to 9", "  y: 1 value, 1099511627776 to 1099511627776",
               "  result: consistent"}},
    {.name = "coordinates none of them finite",
     .files = {{"f.vtk", title + "ASCII\nDIMENSIONS  2 1 1\nX_COORDINATES 2 float\nnan inf\n"
                                 "Y_COORDINATES 1 float\nnan\nZ_COORDINATES 1 float\n0\n"
                                 "POINT_DATA  2\nSCALARS scalars  short\nLOOKUP_TABLE default\n"
                                 "1 2\n"}},
     .lines = {"  x: 2 values, none finite", "  y: 1 value, none finite", "  z: 1 value, 0 to 0",
               "  extent: x none, y none, z 0 to 0"}},
    // Text samples: of a type of no known size, and beyond a char.
    {.name = "text samples of a type word of no known size",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  foo_type\n"
                                          "LOOKUP_TABLE default\n1 2 3 4 5 6 7 -8\n")}},
     .lines = {"  samples: foo_type as text, 8 numbers in 17 bytes from byte 204",
               "  values: -8 to 7",
               "  warning: the type word \"foo_type\" has no known size; the length of the "
               "samples is not checked"}},
    {.name = "a text char beyond its range wraps as VTK loads it",
     .files = {{"f.vtk", uniform("ASCII", "POINT_DATA  8\nSCALARS scalars  char\n"
                                          "LOOKUP_TABLE default\n200 -3 0 1 2 3 4 5\n")}},
     .lines = {"  values: -56 to 5",
               "  warning: samples: 1 number is beyond char, the first \"200\" at byte 200; VTK's "
               "reader loads it as -56"}},
    // Root opens every file: this row runs as another user.
    {.name = "a referenced file that cannot be opened",
     .files = {{"f.vtk", uniform("BINARY_FILE v.raw")}, {"v.raw", eight_shorts}},
     .status = 1,
     .lines = {"  problem: samples: the referenced file v.raw cannot be opened (Permission "
               "denied)",
               "  result: 1 problem, 1 warning"},
     .unreadable = {"v.raw"}},
    {.name = "no argument", .args = {}, .status = 2, .err = "USAGE: voxinfo file...\n"},

    // The options.
    {.name = "--help: the usage on standard output",
     .args = {"--help"},
     .lines = {"Usage: voxinfo [--json] FILE...",
               "  --json     one JSON object a file, each on a line of its own (JSON Lines)",
               "  --         end the options: every argument after it is a FILE"}},
    {.name = "--version", .args = {"--version", "f.vtk"}, .lines = {"voxinfo (vox) " VOX_VERSION}},
    {.name = "-- ends the options: a file named --help is read",
     .files = {{"--help", uniform("BINARY") + eight_shorts}},
     .args = {"--", "--help"},
     .lines = {"--help:", "  result: consistent"}},
    {.name = "an unknown option is a usage error",
     .files = {{"f.vtk", uniform("BINARY") + eight_shorts}},
     .args = {"f.vtk", "--jsn"},
     .status = 2,
     .err = "voxinfo: unrecognized option '--jsn'\nTry 'voxinfo --help' for more information.\n"},
    {.name = "a text coordinate beyond a float, which VTK's reader cannot read",
     .files = {{"f.vtk", "# vtk DataFile Version 2.0\nt\nASCII\nDIMENSIONS 2 1 1\n"
                         "X_COORDINATES 2 float\n0 1e39\nY_COORDINATES 1 float\n0\n"
                         "Z_COORDINATES 1 float\n0\nPOINT_DATA 2\nSCALARS s short\n"
                         "LOOKUP_TABLE default\n1 2\n"}},
     .lines = {"  warning: X_COORDINATES: 1 number that VTK's reader cannot read, the first "
               "\"1e39\" at byte 76 (it reads no nan, no inf, nothing beyond float)",
               "  result: consistent, 1 warning"}},
    {.name = "two words of a text attribute that are no numbers, counted",
     .files = {{"f.vtk", "# vtk DataFile Version 2.0\nt\nASCII\nDIMENSIONS 2 2 1\n"
                         "SPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 4\nSCALARS s short\n"
                         "LOOKUP_TABLE default\n1 2 3 4\nSCALARS t float\nLOOKUP_TABLE default\n"
                         "1 x 2 y\n"}},
     .status = 1,
     .lines = {"  problem: SCALARS t: expected 4 numbers, found 2",
               "  problem: SCALARS t: 2 words are not a number of type float, the first \"x\" at "
               "byte 176",
               "  result: 2 problems"}},
    {.name = "--json: one object a line, with every figure",
     .files = {{"f.vtk", uniform("BINARY") + eight_shorts}},
     .args = {"--json", "f.vtk"},
     .lines = {"{\"file\":\"f.vtk\",\"status\":0,\"version\":\"2.0\",\"grid\":\"uniform\","
               "\"encoding\":\"BINARY\",\"reference\":null,\"dataset\":null,\"dimensions\":[2,2,2],"
               "\"points\":8,\"spacing\":[1,1,2.5],\"origin\":[0,0,-1],\"coordinates\":{},"
               "\"extent\":{\"x\":[0,1],\"y\":[0,1],\"z\":[-1,1.5]},\"samples\":{\"array\":"
               "\"SCALARS\",\"name\":\"scalars\",\"type\":\"short\",\"bytes_per_value\":2,"
               "\"components\":1,\"file\":\"f.vtk\",\"offset\":202,\"bytes\":16,\"numbers\":null,"
               "\"dtype\":\">i2\",\"byte_order\":\"unknown\",\"byte_order_unknown\":\"too few "
               "values to judge\",\"shape\":[2,2,2]},\"values\":{"
               "\"min\":-3,\"max\":300,\"not_finite\":0},\"arrays\":[],\"problems\":[],"
               "\"warnings\":[],\"result\":\"consistent\"}"}},
    {.name = "--json after the file, abbreviated: little-endian samples and a problem",
     .files = {{"f.vtk", uniform("BINARY",
                                 "POINT_DATA  9\nSCALARS scalars  double\nLOOKUP_TABLE default\n") +
                             little_endian_ones + little_endian_ones}},
     .args = {"f.vtk", "--js"},
     .status = 1,
     .lines = {"{\"file\":\"f.vtk\",\"status\":1,\"version\":\"2.0\",\"grid\":\"uniform\","
               "\"encoding\":\"BINARY\",\"reference\":null,\"dataset\":null,\"dimensions\":[2,2,2],"
               "\"points\":8,\"spacing\":[1,1,2.5],\"origin\":[0,0,-1],\"coordinates\":{},"
               "\"extent\":{\"x\":[0,1],\"y\":[0,1],\"z\":[-1,1.5]},\"samples\":{\"array\":"
               "\"SCALARS\",\"name\":\"scalars\",\"type\":\"double\",\"bytes_per_value\":8,"
               "\"components\":1,\"file\":\"f.vtk\",\"offset\":203,\"bytes\":64,\"numbers\":null,"
               "\"dtype\":\"<f8\",\"byte_order\":\"little-endian\",\"byte_order_unknown\":null,"
               "\"shape\":[2,2,2]},\"values\":{"
               "\"min\":3.03865e-319,\"max\":3.03865e-319,\"not_finite\":0},\"arrays\":[],"
               "\"problems\":[{\"code\":\"point_data_count\",\"message\":\"POINT_DATA is 9, "
               "expected 8 (2 x 2 x 2)\"}],\"warnings\":[{\"code\":\"samples_little_endian\","
               "\"message\":\"samples look little-endian: read with their bytes swapped they are "
               "finite and plausible; swap the bytes of each value before converting\"}],"
               "\"result\":\"1 problem, 1 warning\"}"}},
    {.name = "--json for a file that cannot be read: the object, and the diagnostic",
     .files = {{"a\x01\xff\xc3\xa9.vtk/", ""}},
     .args = {"--json", "a\x01\xff\xc3\xa9.vtk"},
     .status = 2,
     .lines = {"{\"file\":\"a\\u0001\xef\xbf\xbd\xc3\xa9.vtk\",\"status\":2,\"error\":{\"code\":"
               "\"reading\",\"message\":\"Error reading a\\\\x01\xef\xbf\xbd\xc3\xa9.vtk: Is a "
               "directory\"}}"},
     .err = "Error reading a\\x01\xff\xc3\xa9.vtk: Is a directory\n"},
};

class voxinfo_run : public testing::TestWithParam<info_case> {};

TEST_P(voxinfo_run, reports) {
    const info_case& c = GetParam();
    const scratch_dir dir;
    for (const auto& [name, content] : c.files) {
        if (name.ends_with('/')) {
            std::filesystem::create_directory(dir.path() + "/" + name);
        } else {
            write_file(dir.path() + "/" + name, content);
        }
    }
    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), "voxinfo");
    std::string program = VOXINFO;
    if (!c.unreadable.empty()) {
        if (::access("/usr/bin/setpriv", X_OK) != 0) {
            GTEST_SKIP() << "no setpriv here to run as another user";
        }
        std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
        for (const auto& [name, content] : c.files) {
            std::filesystem::permissions(dir.path() + "/" + name, std::filesystem::perms(0644));
        }
        for (const std::string& name : c.unreadable) {
            std::filesystem::permissions(dir.path() + "/" + name, std::filesystem::perms(0600));
        }
        argv.front() = VOXINFO;
        argv.insert(argv.begin(),
                    {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        program = "/usr/bin/setpriv";
    }
    const auto got = run_program(program, argv, dir.path());
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.err, c.err);
    // The lines in their order, others between them allowed.
    const std::string out = "\n" + got.out;
    std::size_t from = 0;
    for (const std::string& line : c.lines) {
        const std::size_t at = out.find("\n" + line + "\n", from);
        EXPECT_NE(at, std::string::npos) << "missing line: " << line << "\nin:" << out;
        from = at == std::string::npos ? from : at + line.size() + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(table, voxinfo_run, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<info_case>& row) {
                             std::string name;
                             for (const char ch : row.param.name) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

// A sparse sample file past 4 GiB is read whole and counted exactly, in the same memory as a small
// one.
TEST(voxinfo_large, reads_a_sparse_file_past_4_gib_in_constant_memory) {
    const scratch_dir dir;
    const auto peak = [&](const std::string& name, const std::string& dims, std::uint64_t bytes) {
        const std::string header = title + "BINARY\nDIMENSIONS  " + dims +
                                   "\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " +
                                   std::to_string(bytes / 8) +
                                   "\nSCALARS scalars  double\nLOOKUP_TABLE default\n";
        write_file(dir.path() + "/" + name, header);
        const int fd = ::open((dir.path() + "/" + name).c_str(), O_WRONLY);
        EXPECT_EQ(
            ::pwrite(fd, "\x40\x45\0\0\0\0\0\0", 8, static_cast<off_t>(header.size() + bytes - 8)),
            8);
        ::close(fd);
        const auto got = run_program(VOXINFO, {"voxinfo", name}, dir.path());
        EXPECT_EQ(got.status, 0) << got.out << got.err;
        const std::string samples = "  samples: double (8 bytes), " + std::to_string(bytes) +
                                    " bytes from byte " + std::to_string(header.size()) + "\n";
        EXPECT_NE(got.out.find(samples), std::string::npos) << got.out;
        EXPECT_NE(got.out.find("  values: 0 to 42\n"), std::string::npos) << got.out;
        std::filesystem::remove(dir.path() + "/" + name);
        return got.max_rss_kib;
    };
    const long small = peak("small.vtk", "128 128 8", std::uint64_t{1} << 20);
    const long large = peak("large.vtk", "1024 1024 513", std::uint64_t{1024} * 1024 * 513 * 8);
    EXPECT_LE(large - small, 1024)
        << "peak resident KiB: " << small << " small, " << large << " past 4 GiB";
}

// The system's reason where a path cannot be opened: a loop of links, a name too long.
TEST(voxinfo_paths, say_why_a_file_cannot_be_opened) {
    const scratch_dir dir;
    std::filesystem::create_symlink("loop.vtk", dir.path() + "/loop.vtk");
    const std::string too_long(300, 'n');
    const auto got = run_program(VOXINFO, {"voxinfo", "loop.vtk", too_long}, dir.path());
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.err, "Error opening loop.vtk: Too many levels of symbolic links\nError opening " +
                           too_long + ": File name too long\n");
}

// Files made to cost memory or time: each is read in little more memory than a tiny file, and
// in time that grows with its length only. They are written a part at a time, so that the test's
// own memory, which a child starts with, stays small.
const std::string structured = title + "ASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 1 1 1\n";
const std::string long_name(8000, 'n');
const std::string long_type(8000, 't');

const struct {
    const char* name;
    std::string head, part; // the head, then the part again and again
    std::size_t times;
    int status;
} costly[] = {
    {"1024 FIELD arrays with names and type words of 8000 bytes", structured + "FIELD f 1024\n",
     long_name + " 1 0 " + long_type + "\n", 1024, 0},
    {"1024 SCALARS with names and lookup table names of 8000 bytes", structured + "POINT_DATA 1\n",
     "SCALARS " + long_name + " float\nLOOKUP_TABLE " + long_type + "\n1\n", 1024, 0},
    {"METADATA that never ends",
     structured + "POINT_DATA 1\nSCALARS s float\nLOOKUP_TABLE default\n1\nMETADATA\n",
     "INFORMATION 1\nNAME n LOCATION l\n", 200000, 0},
    {"a million POINT_DATA lines", structured, "POINT_DATA 1\n", 1000000, 0},
    {"FIELD declaring 4096 arrays, holding one", structured + "FIELD f 4096\n", "a 1 1 float\n1\n",
     1, 2},
};

TEST(voxinfo_costly, reads_in_bounded_memory) {
    // In a sanitizer build, memory that is freed waits in a quarantine and would count as held:
    // the children run without one. Other builds ignore the variable.
    const char* const sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string before = sanitizer != nullptr ? sanitizer : "";
    ::setenv("ASAN_OPTIONS",
             (before + ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0").c_str(), 1);
    const scratch_dir dir;
    write_file(dir.path() + "/tiny.vtk",
               structured + "POINT_DATA 1\nSCALARS s float\nLOOKUP_TABLE default\n1\n");
    for (const auto& file : costly) {
        // A child starts with the test's memory at the time, which the rows before may have grown.
        const long tiny = run_program(VOXINFO, {"voxinfo", "tiny.vtk"}, dir.path()).max_rss_kib;
        {
            std::ofstream out(dir.path() + "/f.vtk", std::ios::binary);
            out << file.head;
            for (std::size_t i = 0; i < file.times; ++i) {
                out << file.part;
            }
        }
        const auto got = run_program(VOXINFO, {"voxinfo", "f.vtk"}, dir.path());
        EXPECT_EQ(got.status, file.status) << file.name << "\n" << got.err;
        EXPECT_LE(got.max_rss_kib - tiny, 8192)
            << file.name << ": peak resident KiB " << got.max_rss_kib << ", " << tiny << " tiny";
    }
    if (sanitizer != nullptr) {
        ::setenv("ASAN_OPTIONS", before.c_str(), 1);
    } else {
        ::unsetenv("ASAN_OPTIONS");
    }
}

// The referenced file in JSON: the path found where it is found, null where it is not.
TEST(voxinfo, names_the_referenced_file_found_in_json) {
    const scratch_dir dir;
    const std::string head = "# vtk DataFile Version 2.0\nt\nBINARY_FILE ";
    const std::string tail = "\nDIMENSIONS 2 1 1\nSPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 2\n"
                             "SCALARS s short\nLOOKUP_TABLE default\n";
    write_file(dir.path() + "/f.vtk", head + "s.raw" + tail);
    write_file(dir.path() + "/s.raw", "\0\1\0\2");
    write_file(dir.path() + "/g.vtk", head + "gone.raw" + tail);
    const auto got = run_program(VOXINFO, {"voxinfo", "--json", "f.vtk", "g.vtk"}, dir.path());
    EXPECT_NE(got.out.find("\"reference\":{\"path\":\"s.raw\",\"found\":\"s.raw\","),
              std::string::npos)
        << got.out;
    EXPECT_NE(got.out.find("\"reference\":{\"path\":\"gone.raw\",\"found\":null,"),
              std::string::npos)
        << got.out;
}

} // namespace
