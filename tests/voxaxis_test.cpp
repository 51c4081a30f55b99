// voxaxis end to end: every row runs the built program in a scratch folder.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

namespace {

using vox::test::e2e_case;

const std::string raw("\x00\x01\x02\xff\n\r\x7f", 7);
const std::string title = "# vtk DataFile Version 2.0\nOutput from voxaxis\n";
const std::string usage = "USAGE: voxaxis infile outfile xdim ydim zdim xfile yfile zfile "
                          "data_type BINARY/ASCII\n"
                          "data_type = unsigned_char, short or unsigned_short\n";
const std::string tail = "SCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n";

const std::map<std::string, std::string> inputs = {
    {"in.raw", raw}, {"x.txt", "0 1 2\n"}, {"y.txt", "0 1\n"}, {"z.txt", "0 1 2 3\n"}};

std::map<std::string, std::string> inputs_with(std::map<std::string, std::string> extra) {
    extra.insert(inputs.begin(), inputs.end());
    return extra;
}

std::vector<std::string> args(std::string in, std::string out, std::string dims,
                              std::string coordinates = "x.txt y.txt z.txt",
                              std::string encoding = "ASCII") {
    std::vector<std::string> result = vox::test::words(dims + " " + coordinates);
    result.insert(result.begin(), {std::move(in), std::move(out)});
    result.push_back("unsigned_short");
    result.push_back(std::move(encoding));
    return result;
}

// The file for the default inputs with dimensions 3 2 4.
const std::string complete = title +
                             "ASCII\nDIMENSIONS  3 2 4\n"
                             "X_COORDINATES 3 float\n0 1 2\n"
                             "Y_COORDINATES 2 float\n0 1\n"
                             "Z_COORDINATES 4 float\n0 1 2 3\n"
                             "POINT_DATA  24\n" +
                             tail + raw;

std::string with_dims(const std::string& dims, const std::string& counts,
                      const std::string& points) {
    std::istringstream c(counts);
    std::string x, y, z;
    c >> x >> y >> z;
    return title + "ASCII\nDIMENSIONS  " + dims + "\nX_COORDINATES " + x + " float\n0 1 2\n" +
           "Y_COORDINATES " + y + " float\n0 1\nZ_COORDINATES " + z + " float\n0 1 2 3\n" +
           "POINT_DATA  " + points + "\n" + tail + raw;
}

const e2e_case cases[] = {
    {.name = "complete ASCII file",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4"),
     .out = complete},
    {.name = "binary keyword, coordinates without a final line feed run into the next keyword",
     .files = {{"in.raw", raw}, {"x.bin", "\x01\x02"}, {"y.bin", "ab"}, {"z.bin", "\n"}},
     .args = args("in.raw", "out.vtk", "2 2 1", "x.bin y.bin z.bin", "BINARY"),
     .out = title + "BINARY\nDIMENSIONS  2 2 1\nX_COORDINATES 2 float\n\x01\x02" +
            "Y_COORDINATES 2 float\nabZ_COORDINATES 1 float\n\nPOINT_DATA  4\n" + tail + raw},
    {.name = "empty coordinate and sample files",
     .files = {{"in.raw", ""}, {"e", ""}},
     .args = args("in.raw", "out.vtk", "0 0 0", "e e e"),
     .out = title +
            "ASCII\nDIMENSIONS  0 0 0\nX_COORDINATES 0 float\nY_COORDINATES 0 float\n"
            "Z_COORDINATES 0 float\nPOINT_DATA  0\n" +
            tail},
    {.name = "one file for all three axes is copied in full three times",
     .files = {{"in.raw", raw}, {"c.txt", "0 1 2 3 4 5\n"}},
     .args = args("in.raw", "out.vtk", "1 1 1", "c.txt c.txt c.txt"),
     .out = title +
            "ASCII\nDIMENSIONS  1 1 1\nX_COORDINATES 1 float\n0 1 2 3 4 5\n"
            "Y_COORDINATES 1 float\n0 1 2 3 4 5\nZ_COORDINATES 1 float\n0 1 2 3 4 5\n"
            "POINT_DATA  1\n" +
            tail + raw},
    {.name = "dimensions read like atoi",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "-1 12abc abc"),
     .out = with_dims("4294967295 12 0", "4294967295 12 0", "0")},
    {.name = "dimensions keep their low 32 bits and saturate past 64",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "\t+7 4294967297 99999999999999999999"),
     .out = with_dims("7 1 4294967295", "7 1 4294967295", "30064771065")},
    {.name = "dimensions below the 64-bit range saturate to zero",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "2 3 -99999999999999999999"),
     .out = with_dims("2 3 0", "2 3 0", "0")},
    {.name = "point count beyond 32 bits is exact",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "2000 2000 2000"),
     .out = with_dims("2000 2000 2000", "2000 2000 2000", "8000000000")},
    {.name = "point count of exactly 2 to the 32",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "65536 65536 1"),
     .out = with_dims("65536 65536 1", "65536 65536 1", "4294967296")},
    {.name = "largest point count",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "-1 -1 -1"),
     .out = with_dims("4294967295 4294967295 4294967295", "4294967295 4294967295 4294967295",
                      "79228162458924105385300197375")},
    {.name = "data type written unchanged, blanks and percent signs included",
     .files = inputs,
     .args = {"in.raw", "out.vtk", "1", "1", "1", "x.txt", "y.txt", "z.txt", "%s %n 100%", "ASCII"},
     .out = title +
            "ASCII\nDIMENSIONS  1 1 1\nX_COORDINATES 1 float\n0 1 2\n"
            "Y_COORDINATES 1 float\n0 1\nZ_COORDINATES 1 float\n0 1 2 3\n"
            "POINT_DATA  1\nSCALARS scalars  %s %n 100%\nLOOKUP_TABLE default\n" +
            raw},
    {.name = "invocation name written as received",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4"),
     .out = "# vtk DataFile Version 2.0\nOutput from ./bin/voxaxis %d\n" +
            complete.substr(title.size()),
     .argv0 = "./bin/voxaxis %d"},
    {.name = "a dash is an ordinary file name",
     .files = inputs_with({{"-", raw}}),
     .args = args("-", "out.vtk", "3 2 4"),
     .out = complete},
    {.name = "too few arguments leave the output alone",
     .files = inputs_with({{"out.vtk", "old"}}),
     .args = {"in.raw", "out.vtk", "3", "2", "4", "x.txt", "y.txt", "z.txt", "unsigned_short"},
     .status = 1,
     .err = usage,
     .out = "old"},
    {.name = "usage names the program as invoked",
     .files = inputs,
     .args = {"in.raw"},
     .status = 1,
     .err = "USAGE: ./bin/voxaxis infile outfile xdim ydim zdim xfile yfile zfile data_type "
            "BINARY/ASCII\ndata_type = unsigned_char, short or unsigned_short\n",
     .argv0 = "./bin/voxaxis"},
    {.name = "too many arguments",
     .files = inputs,
     .args =
         [] {
             auto a = args("in.raw", "out.vtk", "3 2 4");
             a.push_back("extra");
             return a;
         }(),
     .status = 1,
     .err = usage},
    {.name = "no arguments at all",
     .args = {},
     .status = 1,
     .err = "USAGE: voxaxis infile outfile xdim ydim zdim xfile yfile zfile data_type "
            "BINARY/ASCII\ndata_type = unsigned_char, short or unsigned_short\n"},
    {.name = "no arguments at all, usage names the program as invoked",
     .args = {},
     .status = 1,
     .err = "USAGE: ./bin/voxaxis infile outfile xdim ydim zdim xfile yfile zfile data_type "
            "BINARY/ASCII\ndata_type = unsigned_char, short or unsigned_short\n",
     .argv0 = "./bin/voxaxis"},
    {.name = "missing infile leaves the output alone",
     .files = inputs_with({{"out.vtk", "old"}}),
     .args = args("nope.raw", "out.vtk", "3 2 4"),
     .status = 1,
     .err = "Error opening nope.raw\n",
     .out = "old"},
    {.name = "output in a missing folder",
     .files = inputs,
     .args = args("in.raw", "no/out.vtk", "3 2 4"),
     .status = 1,
     .err = "Error opening no/out.vtk\n"},
    {.name = "missing z file leaves an empty output",
     .files = inputs_with({{"out.vtk", "old"}}),
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt nope.txt"),
     .status = 1,
     .err = "Error opening nope.txt\n",
     .out = ""},
    {.name = "first missing coordinate file is the one reported",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt gone1 gone2"),
     .status = 1,
     .err = "Error opening gone1\n",
     .out = ""},
    {.name = "lower-case keyword rejected after the title lines",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt z.txt", "binary"),
     .status = 1,
     .err = "Invalid format: binary\n",
     .out = title},
    {.name = "keyword with a trailing blank rejected",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt z.txt", "BINARY "),
     .status = 1,
     .err = "Invalid format: BINARY \n",
     .out = title},
    {.name = "reference keyword rejected",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt z.txt", "BINARY_FILE"),
     .status = 1,
     .err = "Invalid format: BINARY_FILE\n",
     .out = title},
    {.name = "full disk is an error",
     .files = inputs,
     .args = args("in.raw", "/dev/full", "3 2 4"),
     .status = 1,
     .err = "Error writing /dev/full\n"},
    {.name = "full disk with an empty sample is still an error",
     .files = {{"e", ""}},
     .args = args("e", "/dev/full", "1 1 1", "e e e"),
     .status = 1,
     .err = "Error writing /dev/full\n"},
    {.name = "folder as infile is a read error",
     .files = inputs_with({{"dir/", ""}}),
     .args = args("dir", "out.vtk", "3 2 4"),
     .status = 1,
     .err = "Error reading dir\n",
     .out = complete.substr(0, complete.size() - raw.size())},
    {.name = "folder as y file is a read error",
     .files = inputs_with({{"dir/", ""}}),
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt dir z.txt"),
     .status = 1,
     .err = "Error reading dir\n",
     .out = title + "ASCII\nDIMENSIONS  3 2 4\nX_COORDINATES 3 float\n0 1 2\n"
                    "Y_COORDINATES 2 float\n"},
    {.name = "output that is the infile is refused",
     .files = inputs,
     .args = args("in.raw", "in.raw", "3 2 4"),
     .status = 1,
     .err = "Refusing to overwrite input file in.raw\n"},
    {.name = "output that is the infile spelt otherwise is refused",
     .files = inputs,
     .args = args("in.raw", "./in.raw", "3 2 4"),
     .status = 1,
     .err = "Refusing to overwrite input file ./in.raw\n"},
    {.name = "output hard-linked to the infile is refused",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4"),
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = raw,
     .links = {{.name = "out.vtk", .target = "in.raw", .hard = true}}},
    {.name = "output symlinked to the infile is refused",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4"),
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = raw,
     .links = {{.name = "out.vtk", .target = "in.raw"}}},
    {.name = "output that is a coordinate file is refused",
     .files = inputs,
     .args = args("in.raw", "z.txt", "3 2 4"),
     .status = 1,
     .err = "Refusing to overwrite input file z.txt\n"},
    {.name = "coordinate file named like the new output is refused, not fed its own output",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "1 1 1", "in.raw in.raw out.vtk"),
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = ""},
    {.name = "coordinate file naming the output descriptor is refused",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt /dev/fd/4 z.txt"), // in.raw 3, out.vtk 4
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = ""},
    {.name = "coordinate file linked to an existing output is refused before truncating it",
     .files = inputs_with({{"out.vtk", "old"}}),
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt z.lnk"),
     .status = 1,
     .err = "Refusing to overwrite input file out.vtk\n",
     .out = "old",
     .links = {{.name = "z.lnk", .target = "out.vtk"}}},
    {.name = "coordinate file that is the output pipe is refused, not fed its own output",
     .files = inputs,
     .args = args("in.raw", "o.fifo", "1 1 1", "o.fifo y.txt z.txt"),
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo"}}},
    {.name = "coordinate file naming the output pipe's descriptor is refused",
     .files = inputs,
     .args = args("in.raw", "o.fifo", "3 2 4", "x.txt /dev/fd/4 z.txt"), // in.raw 3, o.fifo 4
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo"}}},
    {.name = "a pipe as output and another as coordinate file make an ordinary run",
     .files = inputs,
     .args = args("in.raw", "o.fifo", "3 2 4", "x.fifo y.txt z.txt"),
     .fifos = {{.name = "o.fifo", .arrives = complete}, {.name = "x.fifo", .feed = "0 1 2\n"}}},
    {.name = "closed standard input and error never receive the output",
     .files = inputs,
     .args = args("in.raw", "out.vtk", "3 2 4", "x.txt y.txt z.txt", "binary"),
     .status = 1,
     .out = title,
     .closed = {0, 2}},
    {.name = "dev null as infile and outfile is an ordinary run",
     .files = inputs,
     .args = args("/dev/null", "/dev/null", "3 2 4"),
     .status = 0},
};

class voxaxis_run : public testing::TestWithParam<e2e_case> {};

TEST_P(voxaxis_run, matches) {
    vox::test::check_case(VOXAXIS, "voxaxis", GetParam());
}

INSTANTIATE_TEST_SUITE_P(table, voxaxis_run, testing::ValuesIn(cases), vox::test::case_name);

} // namespace
