// voxslab end to end: every row runs the built program in a scratch folder.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

namespace {

using vox::test::e2e_case;
using vox::test::words;

const std::string raw("\x10\x00\x20\x00\xff\xff\x0a\x00", 8);
const std::string title = "# vtk DataFile Version 2.0\nOutput from voxslab\n";
const std::string usage = "USAGE: voxslab infile outfile xdim ydim zdim xspc yspc  xorig yorig "
                          "locfile  data_type BINARY/ASCII\n"
                          "data_type = unsigned_char, short or unsigned_short\n";
const std::string tail = "SCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n";
const std::string grid = "DIMENSIONS  2 1 2\nSPACING  0.500000 0.500000\n"
                         "ORIGIN  -128.000000 -128.000000\nLOCATIONS 2 float\n";

std::vector<std::string> args(const std::string& locfile, const std::string& encoding = "BINARY",
                              const std::string& out = "out.vtk") {
    return words("stack.raw " + out + " 2 1 2 0.5 0.5 -128 -128 " + locfile + " unsigned_short " +
                 encoding);
}

const std::string locations("\x00\x00\x00\x00\x3f\x80\x00\x00", 8); // 0 and 1, big-endian floats
const std::map<std::string, std::string> inputs = {{"stack.raw", raw}, {"z.bin", locations}};

const e2e_case cases[] = {
    {.name = "complete BINARY file",
     .files = inputs,
     .args = args("z.bin"),
     .out = title + "BINARY\n" + grid + locations + "POINT_DATA  4\n" + tail + raw},
    {.name = "complete ASCII file",
     .files = {{"stack.raw", "1 2 3 4\n"}, {"z.txt", "0 2.5\n"}},
     .args = args("z.txt", "ASCII"),
     .out = title + "ASCII\n" + grid + "0 2.5\nPOINT_DATA  4\n" + tail + "1 2 3 4\n"},
    {.name = "locations without a final line feed run into POINT_DATA",
     .files = {{"stack.raw", raw}, {"z.txt", "0 2.5"}},
     .args = args("z.txt", "ASCII"),
     .out = title + "ASCII\n" + grid + "0 2.5POINT_DATA  4\n" + tail + raw},
    {.name = "empty locations file",
     .files = {{"stack.raw", raw}, {"z.txt", ""}},
     .args = args("z.txt"),
     .out = title + "BINARY\n" + grid + "POINT_DATA  4\n" + tail + raw},
    {.name = "reals written two to a line",
     .files = inputs,
     .args = words("stack.raw out.vtk 3 3 2 0x1p-1 1e0 -0 nan z.bin unsigned_short BINARY"),
     .out = title + "BINARY\nDIMENSIONS  3 3 2\nSPACING  0.500000 1.000000\n" +
            "ORIGIN  -0.000000 nan\nLOCATIONS 2 float\n" + locations + "POINT_DATA  18\n" + tail +
            raw},
    {.name = "slice count sets the LOCATIONS count and the point count is exact",
     .files = inputs,
     .args = words("stack.raw out.vtk 65536 65536 -1 1 1 0 0 z.bin unsigned_short BINARY"),
     .out = title + "BINARY\nDIMENSIONS  65536 65536 4294967295\nSPACING  1.000000 1.000000\n" +
            "ORIGIN  0.000000 0.000000\nLOCATIONS 4294967295 float\n" + locations +
            "POINT_DATA  18446744069414584320\n" + tail + raw},
    {.name = "missing locations file leaves an empty output",
     .files = {{"stack.raw", raw}, {"out.vtk", "old"}},
     .args = args("z.bin"),
     .status = 1,
     .err = "Error opening z.bin\n",
     .out = ""},
    {.name = "folder as locations file is a read error",
     .files = {{"stack.raw", raw}, {"zdir/", ""}},
     .args = args("zdir"),
     .status = 1,
     .err = "Error reading zdir\n",
     .out = title + "BINARY\n" + grid},
    {.name = "reference keyword rejected",
     .files = inputs,
     .args = args("z.bin", "BINARY_FILE"),
     .status = 1,
     .err = "Invalid format: BINARY_FILE\n",
     .out = title},
    {.name = "thirteen arguments give the usage",
     .files = inputs,
     .args =
         [] {
             auto a = args("z.bin");
             a.push_back("extra");
             return a;
         }(),
     .status = 1,
     .err = usage},
    {.name = "output that is the locations file is refused",
     .files = inputs,
     .args = args("z.bin", "BINARY", "z.bin"),
     .status = 1,
     .err = "Refusing to overwrite input file z.bin\n"},
    {.name = "locations file named like the new output is refused, not fed its own output",
     .files = inputs,
     .args = args("out.vtk"),
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = ""},
    {.name = "locations file that is the output pipe is refused, not fed its own output",
     .files = inputs,
     .args = args("o.fifo", "BINARY", "o.fifo"),
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo"}}},
    {.name = "locations file that is an unread output pipe is refused without waiting for a reader",
     .files = inputs,
     .args = args("o.fifo", "BINARY", "o.fifo"),
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo", .unread = true}}},
    {.name = "locations file naming the output pipe's descriptor is refused",
     .files = inputs,
     .args = args("/dev/fd/4", "BINARY", "o.fifo"), // stack.raw 3, o.fifo 4
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo"}}},
    {.name = "output that is the infile is refused",
     .files = inputs,
     .args = args("z.bin", "BINARY", "stack.raw"),
     .status = 1,
     .err = "Refusing to overwrite input file stack.raw\n"},
    {.name = "full disk is an error",
     .files = inputs,
     .args = args("z.bin", "BINARY", "/dev/full"),
     .status = 1,
     .err = "Error writing /dev/full\n"},
};

class voxslab_run : public testing::TestWithParam<e2e_case> {};

TEST_P(voxslab_run, matches) {
    vox::test::check_case(VOXSLAB, "voxslab", GetParam());
}

INSTANTIATE_TEST_SUITE_P(table, voxslab_run, testing::ValuesIn(cases), vox::test::case_name);

} // namespace
