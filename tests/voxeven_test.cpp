// voxeven end to end: every row runs the built program in a scratch folder.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

namespace {

using vox::test::e2e_case;
using vox::test::words;

const std::string raw("\x00\x01\x02\xff\n\r\x7f\x00", 8);
const std::string title = "# vtk DataFile Version 2.0\nOutput from voxeven\n";
const std::string usage = "USAGE: voxeven infile outfile xdim ydim zdim xspc yspc zspc xorig yorig "
                          "zorig data_type BINARY/ASCII\n"
                          "data_type = unsigned_char, short or unsigned_short\n";
const std::string tail = "SCALARS scalars  short\nLOOKUP_TABLE default\n";

// A run on in.raw with dimensions 2 2 2 and the given reals; `reals` are the six of them.
std::vector<std::string> args(const std::string& reals, const std::string& encoding = "BINARY",
                              const std::string& in = "in.raw") {
    return words(in + " out.vtk 2 2 2 " + reals + " short " + encoding);
}

std::string header(const std::string& encoding_line, const std::string& spacing,
                   const std::string& origin) {
    return title + encoding_line + "\nDIMENSIONS  2 2 2\nSPACING  " + spacing + "\nORIGIN  " +
           origin + "\nPOINT_DATA  8\n" + tail;
}

const std::map<std::string, std::string> inputs = {{"in.raw", raw}};

const e2e_case cases[] = {
    {.name = "complete BINARY file",
     .files = inputs,
     .args = args("1 1 2.5 -0.5 0.1 0"),
     .out = header("BINARY", "1.000000 1.000000 2.500000", "-0.500000 0.100000 0.000000") + raw},
    {.name = "complete ASCII file",
     .files = {{"in.txt", "1 2 3 4 5 6 7 8\n"}},
     .args = args("0.9375 0.9375 1.5 0 0 -80", "ASCII", "in.txt"),
     .out = header("ASCII", "0.937500 0.937500 1.500000", "0.000000 0.000000 -80.000000") +
            "1 2 3 4 5 6 7 8\n"},
    {.name = "reference mode names infile as typed and copies nothing",
     .files = {{"data/", ""}, {"data/vol.raw", raw}},
     .args = args("1 1 1 0 0 0", "BINARY_FILE", "data/vol.raw"),
     .out = header("BINARY_FILE data/vol.raw", "1.000000 1.000000 1.000000",
                   "0.000000 0.000000 0.000000")},
    {.name = "reference mode writes a path with blanks unquoted",
     .files = {{"my vol.raw", raw}},
     .args = {"my vol.raw", "out.vtk", "2", "2", "2", "1", "1", "1", "0", "0", "0", "short",
              "BINARY_FILE"},
     .out = header("BINARY_FILE my vol.raw", "1.000000 1.000000 1.000000",
                   "0.000000 0.000000 0.000000")},
    {.name = "reference mode with a missing infile leaves the output alone",
     .files = {{"out.vtk", "old"}},
     .args = args("1 1 1 0 0 0", "BINARY_FILE", "data/vol.raw"),
     .status = 1,
     .err = "Error opening data/vol.raw\n",
     .out = "old"},
    {.name = "reference mode refuses an output that is the infile",
     .files = inputs,
     .args = words("in.raw ./in.raw 2 2 2 1 1 1 0 0 0 short BINARY_FILE"),
     .status = 1,
     .err = "Refusing to overwrite input file ./in.raw\n"},
    {.name = "a named pipe as infile and outfile is refused before the run waits on itself",
     .args = words("o.fifo o.fifo 2 2 2 1 1 1 0 0 0 short BINARY"),
     .status = 1,
     .err = "Refusing to overwrite input file o.fifo\n",
     .fifos = {{.name = "o.fifo"}}},
    {.name = "a pipe as infile and another as outfile make an ordinary run",
     .args = words("i.fifo o.fifo 2 2 2 1 1 1 0 0 0 short BINARY"),
     .fifos = {{.name = "o.fifo",
                .arrives =
                    header("BINARY", "1.000000 1.000000 1.000000", "0.000000 0.000000 0.000000") +
                    raw},
               {.name = "i.fifo", .feed = raw}}},
    {.name = "reference mode refuses a folder as infile",
     .files = {{"dir/", ""}},
     .args = args("1 1 1 0 0 0", "BINARY_FILE", "dir"),
     .status = 1,
     .err = "Error reading dir\n",
     .out = header("BINARY_FILE dir", "1.000000 1.000000 1.000000", "0.000000 0.000000 0.000000")},
    {.name = "reference mode accepts a device as infile",
     .args = args("1 1 1 0 0 0", "BINARY_FILE", "/dev/zero"),
     .out = header("BINARY_FILE /dev/zero", "1.000000 1.000000 1.000000",
                   "0.000000 0.000000 0.000000")},
    {.name = "closed standard output and error never receive the output",
     .files = inputs,
     .args = args("1 1 1 0 0 0", "binary_file"),
     .status = 1,
     .out = title,
     .closed = {1, 2}},
    {.name = "reference mode on a full disk is an error",
     .files = inputs,
     .args = words("in.raw /dev/full 2 2 2 1 1 1 0 0 0 short BINARY_FILE"),
     .status = 1,
     .err = "Error writing /dev/full\n"},
    {.name = "embedding on a full disk is an error",
     .files = inputs,
     .args = words("in.raw /dev/full 2 2 2 1 1 1 0 0 0 short BINARY"),
     .status = 1,
     .err = "Error writing /dev/full\n"},
    {.name = "exponents hexadecimal and a tie rounded to even",
     .files = inputs,
     .args = args("1e2 0x10 123456.789 2.5e-1 0x1p-3 16777217"),
     .out = header("BINARY", "100.000000 16.000000 123456.789062",
                   "0.250000 0.125000 16777216.000000") +
            raw},
    {.name = "negative zero infinities and not a number",
     .files = inputs,
     .args = args("-0 inf -Infinity nan -nan 1e39"),
     .out = header("BINARY", "-0.000000 inf -inf", "nan -nan inf") + raw},
    {.name = "reals that do not parse or vanish in single precision",
     .files = inputs,
     .args = args("abc 1e-7 0.0000005 -1e39 .5x 3,5"),
     .out = header("BINARY", "0.000000 0.000000 0.000000", "-inf 0.500000 3.000000") + raw},
    {.name = "exact point count past 32 bits",
     .files = inputs,
     .args = words("in.raw out.vtk 2000 2000 2000 1 1 1 0 0 0 short BINARY"),
     .out = title +
            "BINARY\nDIMENSIONS  2000 2000 2000\nSPACING  1.000000 1.000000 1.000000\n"
            "ORIGIN  0.000000 0.000000 0.000000\nPOINT_DATA  8000000000\n" +
            tail + raw},
    {.name = "lower-case reference keyword rejected",
     .files = inputs,
     .args = args("1 1 1 0 0 0", "binary_file"),
     .status = 1,
     .err = "Invalid format: binary_file\n",
     .out = title},
    {.name = "twelve arguments give the usage",
     .files = {{"out.vtk", "old"}, {"in.raw", raw}},
     .args = words("in.raw out.vtk 2 2 2 1 1 1 0 0 short BINARY"),
     .status = 1,
     .err = usage,
     .out = "old"},
    {.name = "missing infile",
     .args = args("1 1 1 0 0 0"),
     .status = 1,
     .err = "Error opening in.raw\n"},
    {.name = "folder as infile is a read error",
     .files = {{"dir/", ""}},
     .args = args("1 1 1 0 0 0", "BINARY", "dir"),
     .status = 1,
     .err = "Error reading dir\n",
     .out = header("BINARY", "1.000000 1.000000 1.000000", "0.000000 0.000000 0.000000")},
};

class voxeven_run : public testing::TestWithParam<e2e_case> {};

TEST_P(voxeven_run, matches) {
    vox::test::check_case(VOXEVEN, "voxeven", GetParam());
}

INSTANTIATE_TEST_SUITE_P(table, voxeven_run, testing::ValuesIn(cases), vox::test::case_name);

} // namespace
