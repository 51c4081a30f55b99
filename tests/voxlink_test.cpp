// voxlink end to end: every row lays out files in a scratch folder, runs the built program there,
// and checks its status, standard output and error, the companions it wrote (whole, or the lines
// that the row is about), and that every file it was given is unchanged. The real readers open
// the companions in tests/companions/.
#include "e2e_support.hpp"
#include "formats.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using vox::test::read_file;
using vox::test::run_program;
using vox::test::scratch_dir;
using vox::test::words;
using vox::test::write_file;

const std::string magic = "# vtk DataFile Version 2.0\n";

std::string point_data(const std::string& type, const std::string& count = "24") {
    return "POINT_DATA  " + count + "\nSCALARS scalars  " + type + "\nLOOKUP_TABLE default\n";
}

// A 4 x 3 x 2 grid as voxeven writes it, and its samples.
std::string even(const std::string& type = "unsigned_short", const std::string& encoding = "BINARY",
                 const std::string& spacing = "0.500000 1.000000 2.000000",
                 const std::string& count = "24") {
    return magic + "Output from voxeven\n" + encoding + "\nDIMENSIONS  4 3 2\nSPACING  " + spacing +
           "\nORIGIN  -1.000000 0.000000 3.000000\n" + point_data(type, count);
}
const std::string even_header = even();
const std::string samples(48, '\x01');

// Floats, big-endian as the layout has them, or little-endian.
std::string floats(std::initializer_list<float> values, bool little = false) {
    std::string out;
    for (const float v : values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        std::string four;
        for (int shift = 24; shift >= 0; shift -= 8) {
            four += static_cast<char>((bits >> shift) & 0xff);
        }
        out += little ? std::string(four.rbegin(), four.rend()) : four;
    }
    return out;
}

// A 4 x 3 x 2 grid as voxaxis writes it, with coordinate files that end without a line feed
// (copied as they came: big-endian, or little-endian).
std::string axis(bool little = false) {
    return magic + "Output from voxaxis\nBINARY\nDIMENSIONS  4 3 2\n" + "X_COORDINATES 4 float\n" +
           floats({0, 1, 3, 7}, little) + "Y_COORDINATES 3 float\n" + floats({0, 2, 4}, little) +
           "Z_COORDINATES 2 float\n" + floats({-1, 5}, little) + point_data("unsigned_short");
}
const std::string axis_header = axis();

// A slice stack of `slices` slices as voxslab writes it, with these locations.
std::string slab(const std::string& locations, int slices = 2) {
    const std::string z = std::to_string(slices);
    return magic + "Output from voxslab\nBINARY\nDIMENSIONS  4 3 " + z +
           "\nSPACING  0.500000 1.000000\nORIGIN  -1.000000 0.000000\nLOCATIONS " + z + " float\n" +
           locations + point_data("unsigned_short", std::to_string(12 * slices));
}

// `word` `times` times, a blank after each.
std::string spaced(const std::string& word, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += word + " ";
    }
    return out;
}

std::string offset_of(const std::string& header) {
    return std::to_string(header.size());
}

struct link_case {
    std::string name = {};
    std::map<std::string, std::string> files = {}; // a name ending in '/' is a folder
    std::string args = {};
    int status = 0;
    std::string out = {};
    std::string err = {};
    // Companions whole, or (`lines`) each text that must stand in one; `absent` must not exist.
    std::map<std::string, std::string> whole = {};
    std::vector<std::pair<std::string, std::string>> lines = {};
    std::vector<std::string> absent = {};
    std::string dir = ""; // the folder to run in, under the scratch folder
    // Files laid out that the run may change: older companions.
    std::map<std::string, std::string> old = {};
    // The mode of each of these files: given to those laid out, and each must have after.
    std::map<std::string, unsigned> modes = {};
    std::optional<unsigned> umask = {}; // the run's, if not this process's
    // Bytes past which the run cannot write a file (prlimit --fsize), with SIGXFSZ as it comes.
    std::optional<unsigned long> file_size_limit = {};
};

void PrintTo(const link_case& c, std::ostream* os) {
    *os << c.name;
}

void check(const link_case& c) {
    const scratch_dir scratch;
    const std::string root = scratch.path() + "/";
    for (const auto& files : {c.files, c.old}) {
        for (const auto& [name, content] : files) {
            fs::create_directories(fs::path(root + name).parent_path());
            if (!name.ends_with('/')) {
                write_file(root + name, content);
            }
        }
    }
    for (const auto& [name, mode] : c.modes) {
        if (fs::exists(root + name)) {
            ASSERT_EQ(::chmod((root + name).c_str(), mode), 0) << name;
        }
    }
    std::string program = VOXLINK;
    std::vector<std::string> argv = {"voxlink"};
    if (c.file_size_limit) {
        program = "/usr/bin/prlimit";
        argv = {"prlimit", "--fsize=" + std::to_string(*c.file_size_limit), VOXLINK};
    }
    for (const std::string& w : words(c.args)) {
        argv.push_back(w);
    }
    const mode_t umask = ::umask(c.umask.value_or(0));
    ::umask(c.umask.value_or(umask));
    vox::test::outcome o = run_program(program, argv, root + c.dir, {.time_limit = 20});
    ::umask(umask);
    for (std::size_t at = o.err.find(VOXLINK); at != std::string::npos; at = o.err.find(VOXLINK)) {
        o.err.replace(at, std::strlen(VOXLINK), "voxlink"); // the name prlimit ran it by
    }
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, c.err);
    for (const auto& [name, content] : c.files) {
        if (!name.ends_with('/')) {
            EXPECT_EQ(read_file(root + name), content) << name << " changed";
        }
    }
    for (const auto& [name, content] : c.whole) {
        EXPECT_EQ(read_file(root + name), content) << name;
    }
    for (const auto& [name, text] : c.lines) {
        ASSERT_TRUE(fs::exists(root + name)) << name;
        EXPECT_NE(read_file(root + name).find(text), std::string::npos)
            << name << " lacks: " << text << "\n"
            << read_file(root + name);
    }
    for (const std::string& name : c.absent) {
        EXPECT_FALSE(fs::exists(root + name)) << name << " written";
    }
    for (const auto& [name, mode] : c.modes) {
        struct stat st {};
        ASSERT_EQ(::stat((root + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, mode) << name << std::oct << ": mode 0" << mode;
    }
    // Nothing half-written is left behind.
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("."))
            << entry.path() << " left behind";
    }
}

template <class Row>
std::string name_of(const testing::TestParamInfo<Row>& row) {
    std::string name;
    for (const char c : row.param.name) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

const std::string written_all = "v.xmf: XDMF, for ParaView, VisIt\n"
                                "v.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, "
                                "ITK-SNAP, Fiji\n"
                                "v.nhdr: NRRD, for teem, ITK, 3D Slicer, Fiji, pynrrd\n"
                                "v.zarr.json: Zarr reference, for zarr, xarray, Dask\n";

// The formats, as the list of what was written names them; an empty name in a row: refused.
const std::string written_lines[] = {
    "v.xmf: XDMF, for ParaView, VisIt\n",
    "v.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji\n",
    "v.nhdr: NRRD, for teem, ITK, 3D Slicer, Fiji, pynrrd\n",
    "v.zarr.json: Zarr reference, for zarr, xarray, Dask\n"};

// What a uniform grid's companions say, whole.
const std::string even_xmf =
    "<?xml version=\"1.0\" ?>\n<!DOCTYPE Xdmf SYSTEM \"Xdmf.dtd\" []>\n<Xdmf Version=\"2.0\">\n"
    "  <Domain>\n    <Grid Name=\"v.vtk\" GridType=\"Uniform\">\n"
    "      <Topology TopologyType=\"3DCoRectMesh\" Dimensions=\"2 3 4\"/>\n"
    "      <Geometry GeometryType=\"ORIGIN_DXDYDZ\">\n"
    "        <DataItem Name=\"Origin\" Dimensions=\"3\" NumberType=\"Float\" Precision=\"8\" "
    "Format=\"XML\">3 0 -1</DataItem>\n"
    "        <DataItem Name=\"Spacing\" Dimensions=\"3\" NumberType=\"Float\" Precision=\"8\" "
    "Format=\"XML\">2 1 0.5</DataItem>\n      </Geometry>\n"
    "      <Attribute Name=\"scalars\" AttributeType=\"Scalar\" Center=\"Node\">\n"
    "        <DataItem Dimensions=\"2 3 4\" NumberType=\"UShort\" Precision=\"2\" "
    "Format=\"Binary\" Endian=\"Big\" Seek=\"" +
    offset_of(even_header) +
    "\">v.vtk</DataItem>\n      </Attribute>\n    </Grid>\n  </Domain>\n</Xdmf>\n";
const std::string even_mhd = "ObjectType = Image\nNDims = 3\nBinaryData = True\n"
                             "BinaryDataByteOrderMSB = True\nElementByteOrderMSB = True\n"
                             "CompressedData = False\nDimSize = 4 3 2\n"
                             "ElementSpacing = 0.5 1 2\nOffset = -1 0 3\n"
                             "ElementType = MET_USHORT\nHeaderSize = " +
                             offset_of(even_header) + "\nElementDataFile = v.vtk\n";
const std::string even_nhdr =
    "NRRD0004\n# The samples are in the data file, from the byte after those skipped.\n"
    "type: ushort\ndimension: 3\nspace: 3D-right-handed\nsizes: 4 3 2\n"
    "space directions: (0.5,0,0) (0,1,0) (0,0,2)\nkinds: domain domain domain\n"
    "space origin: (-1,0,3)\nendian: big\nencoding: raw\nbyte skip: " +
    offset_of(even_header) + "\ndata file: v.vtk\n";

const std::string no_text_zarr = "voxlink: v.vtk: no Zarr reference companion: the samples are "
                                 "text (ASCII), which cannot be read in chunks in place\n";

class written : public testing::TestWithParam<link_case> {};
TEST_P(written, as_the_row_says) {
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    voxlink, written,
    testing::Values(
        link_case{.name = "a uniform grid gets all four companions beside it",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "v.vtk",
                  .out = written_all,
                  .whole = {{"v.xmf", even_xmf}, {"v.mhd", even_mhd}, {"v.nhdr", even_nhdr}}},
        link_case{.name = "the companions asked for, in other folders, name the data file from "
                          "there",
                  .files = {{"d/v.vtk", even_header + samples}, {"e/", ""}},
                  .args = "d/v.vtk e/a.xdmf d/../e/b.mhd e/c.nhdr",
                  .out = "e/a.xdmf: XDMF, for ParaView, VisIt\n"
                         "d/../e/b.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, "
                         "Fiji\ne/c.nhdr: NRRD, for teem, ITK, 3D Slicer, Fiji, pynrrd\n",
                  .lines = {{"e/a.xdmf", ">../d/v.vtk</DataItem>"},
                            {"e/b.mhd", "ElementDataFile = ../d/v.vtk\n"},
                            {"e/c.nhdr", "data file: ../d/v.vtk\n"}}},
        link_case{.name = "a companion is written over an old one of its name, with its mode",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "v.vtk v.mhd",
                  .out = "v.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji\n",
                  .whole = {{"v.mhd", even_mhd}},
                  .old = {{"v.mhd", "ObjectType = Image\nElementDataFile = old.raw\n"}},
                  .modes = {{"v.mhd", 0600}}},
        link_case{
            .name = "new companions have a new file's mode, each less the umask",
            .files = {{"v.vtk", even_header + samples}},
            .args = "v.vtk",
            .out = written_all,
            .modes = {{"v.xmf", 0640}, {"v.mhd", 0640}, {"v.nhdr", 0640}, {"v.zarr.json", 0640}},
            .umask = 027},
        link_case{.name = "a file of no extension in a folder that has one gets its companions "
                          "there",
                  .files = {{"a.d/v", even_header + samples}},
                  .args = "a.d/v",
                  .out = "a.d/v.xmf: XDMF, for ParaView, VisIt\n"
                         "a.d/v.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, "
                         "Fiji\na.d/v.nhdr: NRRD, for teem, ITK, 3D Slicer, Fiji, pynrrd\n"
                         "a.d/v.zarr.json: Zarr reference, for zarr, xarray, Dask\n",
                  .lines = {{"a.d/v.xmf", ">v</DataItem>"},
                            {"a.d/v.mhd", "ElementDataFile = v\n"},
                            {"a.d/v.nhdr", "data file: v\n"}},
                  .absent = {"a.xmf", "a.mhd", "a.nhdr"}},
        link_case{.name = "little-endian samples as asked",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "--byte-order=little v.vtk",
                  .out = written_all,
                  .lines = {{"v.xmf", "Endian=\"Little\""},
                            {"v.mhd", "ElementByteOrderMSB = False\n"},
                            {"v.nhdr", "endian: little\n"}}},
        link_case{.name = "little-endian samples as judged, and said",
                  .files = {{"v.vtk", even_header +
                                          [] {
                                              std::string s;
                                              for (char i = 0; i < 24; ++i) {
                                                  s += std::string(1, i) + '\0';
                                              }
                                              return s;
                                          }()}},
                  .args = "--byte-order auto v.vtk",
                  .out = written_all,
                  .err = "voxlink: v.vtk: the samples look little-endian; taken so\n",
                  .lines = {{"v.mhd", "BinaryDataByteOrderMSB = False\n"}}},
        link_case{.name = "reference mode points at the sample file from its start",
                  .files = {{"h/v.vtk", even("unsigned_short", "BINARY_FILE s.raw")},
                            {"h/s.raw", samples}},
                  .args = "v.vtk",
                  .out = written_all,
                  .lines = {{"h/v.xmf", "Seek=\"0\">s.raw</DataItem>"},
                            {"h/v.mhd", "HeaderSize = 0\nElementDataFile = s.raw\n"},
                            {"h/v.nhdr", "byte skip: 0\ndata file: s.raw\n"}},
                  .dir = "h"},
        link_case{
            .name = "a rectilinear grid points at its coordinates, for XDMF and Zarr alone",
            .files = {{"v.vtk", axis_header + samples}},
            .args = "v.vtk",
            .out = written_lines[0] + written_lines[3],
            .err = "voxlink: v.vtk: no MetaImage companion: a rectilinear grid has no single "
                   "spacing along each axis\nvoxlink: v.vtk: no NRRD companion: a rectilinear "
                   "grid has no single spacing along each axis\n",
            .lines =
                {{"v.xmf", "<Topology TopologyType=\"3DRectMesh\" Dimensions=\"2 3 4\"/>"},
                 {"v.xmf", "<DataItem Dimensions=\"4\" NumberType=\"Float\" "
                           "Precision=\"4\" Format=\"Binary\" Endian=\"Big\" Seek=\"" +
                               std::to_string(axis_header.find("X_COORDINATES") + 22) + "\">v.vtk"},
                 {"v.xmf", "<DataItem Dimensions=\"2\" NumberType=\"Float\" "
                           "Precision=\"4\" Format=\"Binary\" Endian=\"Big\" Seek=\"" +
                               std::to_string(axis_header.find("Z_COORDINATES") + 22) + "\">v.vtk"},
                 {"v.xmf", "Seek=\"" + offset_of(axis_header) + "\">v.vtk"}}},
        link_case{
            .name = "a rectilinear grid of little-endian coordinates says so of each",
            .files = {{"v.vtk", axis(true) + samples}},
            .args = "--byte-order=little v.vtk v.xmf",
            .out = written_lines[0],
            .lines = {{"v.xmf", "<DataItem Dimensions=\"4\" NumberType=\"Float\" Precision=\"4\" "
                                "Format=\"Binary\" Endian=\"Little\" Seek=\"" +
                                    std::to_string(axis_header.find("X_COORDINATES") + 22) + "\""},
                      {"v.xmf", "<DataItem Dimensions=\"2\" NumberType=\"Float\" Precision=\"4\" "
                                "Format=\"Binary\" Endian=\"Little\" Seek=\"" +
                                    std::to_string(axis_header.find("Z_COORDINATES") + 22) +
                                    "\""}}},
        link_case{.name = "names that XML must escape, escaped",
                  .files = {{"a&b\"c'<d>.vtk",
                             magic +
                                 "x\nBINARY\nDATASET STRUCTURED_POINTS\nDIMENSIONS 4 3 2\n"
                                 "POINT_DATA 24\nSCALARS s&\"<'> unsigned_short\n"
                                 "LOOKUP_TABLE default\n" +
                                 samples}},
                  .args = "a&b\"c'<d>.vtk o.xmf o.mhd o.nhdr",
                  .out = "o.xmf: XDMF, for ParaView, VisIt\n"
                         "o.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji\n"
                         "o.nhdr: NRRD, for teem, ITK, 3D Slicer, Fiji, pynrrd\n",
                  .lines = {{"o.xmf", "<Grid Name=\"a&amp;b&quot;c&apos;&lt;d&gt;.vtk\" "},
                            {"o.xmf", "<Attribute Name=\"s&amp;&quot;&lt;&apos;&gt;\" "},
                            {"o.xmf", "\">a&amp;b&quot;c&apos;&lt;d&gt;.vtk</DataItem>"},
                            {"o.mhd", "ElementDataFile = a&b\"c'<d>.vtk\n"},
                            {"o.nhdr", "data file: a&b\"c'<d>.vtk\n"}}},
        link_case{.name = "labels that are no UTF-8 take U+FFFD in XDMF",
                  .files = {{"v\xff.vtk", magic + "x\nBINARY_FILE s.raw\nDATASET "
                                                  "STRUCTURED_POINTS\nDIMENSIONS 4 3 2\n"
                                                  "POINT_DATA 24\nSCALARS a\xc3(b unsigned_short\n"
                                                  "LOOKUP_TABLE default\n"},
                            {"s.raw", samples}},
                  .args = "v\xff.vtk o.xmf",
                  .out = "o.xmf: XDMF, for ParaView, VisIt\n",
                  .lines = {{"o.xmf", "<Grid Name=\"v\xef\xbf\xbd.vtk\" "},
                            {"o.xmf", "<Attribute Name=\"a\xef\xbf\xbd(b\" "},
                            {"o.xmf", "Seek=\"0\">s.raw</DataItem>"}}},
        link_case{.name = "a data file's name XML cannot carry: no XDMF",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE r\x01\xff.raw")},
                            {"r\x01\xff.raw", samples}},
                  .args = "v.vtk",
                  .out = written_lines[1] + written_lines[2],
                  .err = "voxlink: v.vtk: no XDMF companion: the data file's name r\\x01\xff.raw "
                         "holds a control character, which XML 1.0 cannot carry\n"
                         "voxlink: v.vtk: no Zarr reference companion: the data file's name "
                         "r\\x01\xff.raw holds bytes that are not UTF-8, which JSON cannot carry\n",
                  .lines = {{"v.mhd", "ElementDataFile = r\x01\xff.raw\n"}},
                  .absent = {"v.xmf", "v.zarr.json"}},
        link_case{.name = "a data file's name of a control character in a Zarr reference",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE r\x01.raw")},
                            {"r\x01.raw", samples}},
                  .args = "v.vtk o.json",
                  .out = "o.json: Zarr reference, for zarr, xarray, Dask\n",
                  .lines = {{"o.json", "/r\\u0001.raw\"},"}}},
        link_case{.name = "a data file's name that is no UTF-8: no XDMF",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE r\xc3(.raw")},
                            {"r\xc3(.raw", samples}},
                  .args = "v.vtk v.xmf",
                  .status = 1,
                  .err = "voxlink: v.vtk: no XDMF companion: the data file's name r\xc3(.raw "
                         "holds bytes that are not UTF-8, which XML 1.0 cannot carry\n",
                  .absent = {"v.xmf"}},
        link_case{.name = "a data file's name with a percent sign: no MetaImage, no NRRD",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE p%d.raw")},
                            {"p%d.raw", samples}},
                  .args = "v.vtk",
                  .out = written_lines[0] + written_lines[3],
                  .err = "voxlink: v.vtk: no MetaImage companion: the data file's name p%d.raw "
                         "holds %, which MetaImage readers take for a numbered series of files\n"
                         "voxlink: v.vtk: no NRRD companion: the data file's name p%d.raw holds "
                         "%, which NRRD readers take for a numbered series of files\n",
                  .lines = {{"v.xmf", "Seek=\"0\">p%d.raw</DataItem>"}}},
        link_case{
            .name = "locations longer than the stack",
            .files = {{"v.vtk", slab(floats({-1, 5, 6})) + samples}},
            .args = "v.vtk",
            .status = 1,
            .err = "voxlink: v.vtk: LOCATIONS: expected 8 bytes (2 x 4), found 12 (too many)\n",
            .absent = {"v.xmf", "v.mhd", "v.nhdr"}},
        link_case{.name = "a slice stack of unequal steps: its lines, in XDMF alone",
                  .files = {{"v.vtk", slab(floats({0, 1, 3}), 3) + samples + samples.substr(24)}},
                  .args = "v.vtk",
                  .out = written_lines[0] + written_lines[3],
                  .err = "voxlink: v.vtk: no MetaImage companion: the slice locations are not "
                         "equally spaced\nvoxlink: v.vtk: no NRRD companion: the slice "
                         "locations are not equally spaced\n",
                  .lines = {{"v.xmf", "<DataItem Dimensions=\"3\" NumberType=\"Float\" "
                                      "Precision=\"4\" Format=\"Binary\""}}},
        link_case{.name = "steps equal but for the rounding of floats",
                  .files = {{"v.vtk",
                             slab(floats({0.1f, 0.2f, 0.3f}), 3) + samples + samples.substr(24)}},
                  .args = "v.vtk v.mhd",
                  .out = "v.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji\n",
                  .lines = {{"v.mhd", "ElementSpacing = 0.5 1 0.1\n"
                                      "Offset = -1 0 0.1\n"}}},
        link_case{.name = "steps equal but for the rounding of floats, from 0",
                  .files = {{"v.vtk", slab(floats({0, 0.1f, 0.2f, 0.3f}), 4) + samples + samples}},
                  .args = "v.vtk v.mhd v.nhdr",
                  .out = written_lines[1] + written_lines[2],
                  .lines = {{"v.mhd", "ElementSpacing = 0.5 1 0.1\nOffset = -1 0 0\n"},
                            {"v.nhdr", "(0,0,0.1)\nkinds: domain domain domain\n"}}},
        link_case{.name = "a slice stack of equal steps is a uniform grid for MetaImage and NRRD",
                  .files = {{"v.vtk", slab(floats({-1, 5})) + samples}},
                  .args = "v.vtk",
                  .out = written_all,
                  .lines = {{"v.xmf", "Format=\"XML\">-1 -0.5 0 0.5</DataItem>"},
                            {"v.xmf", "Format=\"XML\">0 1 2</DataItem>"},
                            {"v.xmf", "Seek=\"" + std::to_string(slab("").find("LOCATIONS") + 18) +
                                          "\">v.vtk</DataItem>"},
                            {"v.mhd", "ElementSpacing = 0.5 1 6\nOffset = -1 0 -1\n"},
                            {"v.nhdr", "(0,0,6)\nkinds: domain domain domain\n"
                                       "space origin: (-1,0,-1)\n"}}},
        link_case{
            .name = "a negative spacing: XDMF and Zarr alone",
            .files = {{"v.vtk",
                       even("unsigned_short", "BINARY", "0.500000 -1.000000 2.000000") + samples}},
            .args = "v.vtk",
            .out = written_lines[0] + written_lines[3],
            .err = "voxlink: v.vtk: no MetaImage companion: the y spacing is -1; only "
                   "spacings above 0 are described\nvoxlink: v.vtk: no NRRD companion: "
                   "the y spacing is -1; only spacings above 0 are described\n",
            .lines = {{"v.xmf", ">2 -1 0.5</DataItem>"}}},
        link_case{.name = "an output that is the file itself",
                  .files = {{"v.mhd", even_header + samples}},
                  .args = "v.mhd",
                  .status = 1,
                  .out = written_lines[0] + written_lines[2] + written_lines[3],
                  .err = "voxlink: v.mhd: not written: it is v.mhd itself, which is never "
                         "written over\n"},
        link_case{.name = "text samples are read in place by MetaImage and NRRD readers",
                  .files = {{"v.vtk", even("short", "ASCII") + spaced("-7", 24)}},
                  .args = "v.vtk",
                  .out = written_lines[1] + written_lines[2],
                  .err = "voxlink: v.vtk: no XDMF companion: the samples are text (ASCII), "
                         "which XDMF can only hold in itself\n" +
                         no_text_zarr,
                  .lines = {{"v.mhd", "\nBinaryData = False\nCompressedData = False\n"},
                            {"v.mhd", "ElementType = MET_SHORT\nHeaderSize = " +
                                          offset_of(even("short", "ASCII")) + "\n"},
                            {"v.nhdr", "origin: (-1,0,3)\nencoding: ascii\nbyte skip: " +
                                           offset_of(even("short", "ASCII")) + "\n"}}},
        link_case{.name = "text samples with nan: NRRD alone",
                  .files = {{"v.vtk", even("float", "ASCII") + "nan " + spaced("1.5", 23)}},
                  .args = "v.vtk",
                  .out = written_lines[2],
                  .err = "voxlink: v.vtk: no XDMF companion: the samples are text (ASCII), "
                         "which XDMF can only hold in itself\nvoxlink: v.vtk: no MetaImage "
                         "companion: the samples as text hold nan or inf, after which VTK's "
                         "MetaImage reader reads zeros\n" +
                         no_text_zarr,
                  .lines = {{"v.nhdr", "encoding: ascii\n"}}},
        link_case{.name = "three components a point",
                  .files = {{"v.vtk", "# vtk DataFile Version 3.0\nrgb\nBINARY\nDATASET "
                                      "STRUCTURED_POINTS\nDIMENSIONS 4 3 2\nSPACING 1 1 1\n"
                                      "ORIGIN 0 0 0\nPOINT_DATA 24\nSCALARS rgb unsigned_char "
                                      "3\nLOOKUP_TABLE default\n" +
                                          std::string(72, 'c') + "\n"}},
                  .args = "v.vtk",
                  .out = written_all,
                  .lines = {{"v.xmf", "AttributeType=\"Vector\" Center=\"Node\">\n        "
                                      "<DataItem Dimensions=\"2 3 4 3\""},
                            {"v.mhd", "ElementNumberOfChannels = 3\n"},
                            {"v.nhdr", "dimension: 4\nspace: 3D-right-handed\nsizes: 3 4 3 2\n"
                                       "space directions: none (1,0,0)"},
                            {"v.nhdr", "kinds: vector domain domain domain\n"}}},
        link_case{.name = "a file named like an option, after --",
                  .files = {{"--help", even_header + samples}},
                  .args = "-- --help o.mhd",
                  .out = "o.mhd: MetaImage, for ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji\n",
                  .lines = {{"o.mhd", "ElementDataFile = --help\n"}}}),
    name_of<link_case>);

// The sample types as each format names them.
struct type_case {
    std::string word;
    unsigned size;
    std::string xdmf, metaimage, nrrd;
};

class types : public testing::TestWithParam<type_case> {};
TEST_P(types, have_their_name_in_every_format_whose_readers_read_them) {
    const type_case& t = GetParam();
    link_case c{
        .name = t.word,
        .files = {{"v.vtk", even(t.word) + std::string(t.word == "bit" ? 3 : 24 * t.size, '\0')}},
        .args = "v.vtk"};
    const std::string names[] = {t.xdmf, t.metaimage, t.nrrd};
    const char* formats[] = {"XDMF", "MetaImage", "NRRD"};
    const char* files[] = {"v.xmf", "v.mhd", "v.nhdr"};
    const std::string lines[] = {t.xdmf + "\" Format=\"Binary\"",
                                 "ElementType = " + t.metaimage + "\n", "type: " + t.nrrd + "\n"};
    for (int f = 0; f < 3; ++f) {
        if (names[f].empty()) {
            c.err += std::string("voxlink: v.vtk: no ") + formats[f] +
                     " companion: samples of type " + t.word + ", which the readers of " +
                     formats[f] + " cannot read\n";
            c.absent.emplace_back(files[f]);
        } else {
            c.out += written_lines[f];
            c.lines.emplace_back(files[f], lines[f]);
        }
    }
    if (t.word == "bit") {
        c.err += "voxlink: v.vtk: no Zarr reference companion: samples of type bit, which the "
                 "readers of Zarr reference cannot read\n";
        c.absent.emplace_back("v.zarr.json");
    } else {
        c.out += written_lines[3];
    }
    c.status = c.out.empty() ? 1 : 0;
    if (!t.nrrd.empty()) {
        c.lines.emplace_back("v.nhdr", t.size > 1 ? "\nendian: big\n" : "\nencoding: raw\n");
    }
    check(c);
}

// The names every reader takes are opened by the real readers (tests/companions); these rows
// are the words without a reader of their own there, and the types a format refuses.
INSTANTIATE_TEST_SUITE_P(
    voxlink, types,
    testing::Values(type_case{"unsigned_char", 1, "NumberType=\"UChar\" Precision=\"1", "MET_UCHAR",
                              "uchar"},
                    type_case{"vtkIdType", 4, "NumberType=\"Int\" Precision=\"4", "MET_INT", "int"},
                    // VTK's and ParaView's MetaImage readers fail on 8-byte integers; ParaView's
                    // XDMF readers read unsigned ones as 4 bytes.
                    type_case{"long", 8, "NumberType=\"Int\" Precision=\"8", "", "int64"},
                    type_case{"vtktypeuint64", 8, "", "", "uint64"},
                    type_case{"bit", 1, "", "", ""}),
    [](const testing::TestParamInfo<type_case>& row) { return row.param.word; });

class refused : public testing::TestWithParam<link_case> {};
TEST_P(refused, writes_nothing) {
    link_case c = GetParam();
    for (const char* name :
         {"v.xmf", "v.mhd", "v.nhdr", "v.zarr.json", "o.xmf", "o.mhd", "o.nhdr", "o.json"}) {
        if (c.files.count(name) == 0) {
            c.absent.emplace_back(name);
        }
    }
    check(c);
}

const std::string too_few =
    "samples: expected 48 bytes (24 points x 2 bytes of unsigned_short), found 47 (too few)";

INSTANTIATE_TEST_SUITE_P(
    voxlink, refused,
    testing::Values(
        link_case{.name = "text samples",
                  .files = {{"v.vtk", even("unsigned_short", "ASCII") + "1 2 3\n"}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: samples: expected 24 numbers (the points), found 3\n"},
        link_case{.name = "a payload shorter than its grid",
                  .files = {{"v.vtk", even_header + samples.substr(1)}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: " + too_few + "\n"},
        link_case{.name = "a referenced file shorter than its grid",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE s.raw")},
                            {"s.raw", samples.substr(1)}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: samples in s.raw: expected 48 bytes (24 points x 2 "
                         "bytes of unsigned_short), found 47 (too few)\n"},
        link_case{.name = "a missing referenced file",
                  .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE gone.raw")}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: samples: the referenced file gone.raw is not found (No "
                         "such file or directory)\n"},
        link_case{.name = "POINT_DATA other than the points",
                  .files = {{"v.vtk",
                             even("unsigned_short", "BINARY", "0.500000 1.000000 2.000000", "25") +
                                 samples}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: POINT_DATA is 25, expected 24 (4 x 3 x 2)\n"},
        link_case{.name = "a spacing that is no number",
                  .files = {{"v.vtk",
                             even("unsigned_short", "BINARY", "nan 1.000000 2.000000") + samples}},
                  .args = "v.vtk",
                  .status = 1,
                  .err = "voxlink: v.vtk: SPACING: the x spacing is nan; the points have no "
                         "position\n"},
        link_case{.name = "a file not in the layout",
                  .files = {{"v.vtk", "P5\n4 3\n255\n"}},
                  .args = "v.vtk",
                  .status = 2,
                  .err = "voxlink: v.vtk: not in the legacy layout: line 1: expected \"# vtk "
                         "DataFile Version N.M\", found \"P5\"\n"},
        link_case{.name = "a missing file",
                  .args = "v.vtk",
                  .status = 2,
                  .err = "voxlink: v.vtk: cannot be opened (No such file or directory)\n"},
        link_case{.name = "an output of another extension",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "v.vtk o.mhd o.raw",
                  .status = 2,
                  .err = "voxlink: o.raw: the extension picks the format: .xmf, .xdmf, .mhd, "
                         ".nhdr or .json\nTry 'voxlink --help' for more information.\n"},
        link_case{
            .name = "an output that is the sample file",
            .files = {{"v.vtk", even("unsigned_short", "BINARY_FILE o.nhdr")}, {"o.nhdr", samples}},
            .args = "v.vtk o.nhdr",
            .status = 1,
            .err = "voxlink: o.nhdr: not written: it is o.nhdr itself, which is never "
                   "written over\n"},
        // The limit holds for standard error too: the companion (named after a long name) is
        // cut short within it, its message (with the program's path) is not.
        link_case{.name = "a write that fails past the temporary file leaves the old companion",
                  .files = {{std::string(200, 'v') + ".vtk", even_header + samples},
                            {"v.mhd", "ObjectType = Image\n"}},
                  .args = std::string(200, 'v') + ".vtk v.mhd",
                  .status = 1,
                  .err = "voxlink: v.mhd: not written: cannot be written (File too large)\n",
                  .modes = {{"v.mhd", 0600}},
                  .file_size_limit = 400},
        link_case{.name = "an output in a missing folder",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "v.vtk no/o.mhd",
                  .status = 1,
                  .err = "voxlink: no/o.mhd: not written: cannot be created in its folder (No "
                         "such file or directory)\n"},
        link_case{.name = "an unknown byte order",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "--byte-order=middle v.vtk",
                  .status = 2,
                  .err = "voxlink: invalid byte order 'middle': big, little or auto\nTry "
                         "'voxlink --help' for more information.\n"},
        link_case{.name = "an unknown option",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "--bytes v.vtk",
                  .status = 2,
                  .err = "voxlink: unrecognized option '--bytes'\nTry 'voxlink --help' for more "
                         "information.\n"},
        link_case{.name = "an empty data URL",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "--data-url= v.vtk o.json",
                  .status = 1,
                  .err = "voxlink: v.vtk: --data-url: '' is no URL (SCHEME://...)\n"},
        link_case{.name = "a data URL of no scheme",
                  .files = {{"v.vtk", even_header + samples}},
                  .args = "--data-url=://host/v.vtk v.vtk o.json",
                  .status = 1,
                  .err = "voxlink: v.vtk: --data-url: '://host/v.vtk' is no URL (SCHEME://...)\n"},
        link_case{.name = "an array named as a coordinate",
                  .files = {{"v.vtk", magic +
                                          "t\nBINARY\nDIMENSIONS 4 3 2\nSPACING 1 1 1\n"
                                          "ORIGIN 0 0 0\nPOINT_DATA 24\nSCALARS x "
                                          "unsigned_short\nLOOKUP_TABLE default\n" +
                                          samples}},
                  .args = "v.vtk o.json",
                  .status = 1,
                  .err = "voxlink: v.vtk: no Zarr reference companion: an array is named 'x', as "
                         "a coordinate is\n"},
        link_case{.name = "two arrays of one name",
                  .files = {{"v.vtk", magic +
                                          "t\nBINARY\nDIMENSIONS 4 3 2\nSPACING 1 1 1\n"
                                          "ORIGIN 0 0 0\nPOINT_DATA 24\nSCALARS s "
                                          "unsigned_short\nLOOKUP_TABLE default\n" +
                                          samples + "\nNORMALS s unsigned_char\n" +
                                          std::string(72, 'n')}},
                  .args = "v.vtk o.json",
                  .status = 1,
                  .err = "voxlink: v.vtk: no Zarr reference companion: two arrays are named "
                         "'s'\n"},
        link_case{.name = "no file",
                  .args = "",
                  .status = 2,
                  .err = "voxlink: no FILE given\nTry 'voxlink --help' for more information.\n"}),
    name_of<link_case>);

TEST(voxlink, help_and_version_go_to_standard_output) {
    const scratch_dir scratch;
    for (const char* option : {"--help", "--version", "--he"}) {
        const auto o = run_program(VOXLINK, {"voxlink", option, "v.vtk"}, scratch.path());
        EXPECT_EQ(o.status, 0) << option;
        EXPECT_EQ(o.err, "") << option;
        EXPECT_TRUE(o.out.starts_with(option == std::string("--version") ? "voxlink (vox) "
                                                                         : "Usage: voxlink "))
            << o.out;
    }
}

// A companion lasts once written: its bytes are synced before the rename, its folder after it
// (seen through strace, where it is installed).
TEST(voxlink, syncs_the_companion_and_then_its_folder) {
    if (!fs::exists("/usr/bin/strace")) {
        GTEST_SKIP() << "strace is not installed";
    }
    const scratch_dir scratch;
    write_file(scratch.path() + "/v.vtk", even_header + samples);
    fs::create_directory(scratch.path() + "/d");
    // LeakSanitizer cannot work under ptrace: off, in a sanitizer build.
    std::vector<std::string> environment = {"ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("ASAN_OPTIONS=")) {
            environment.emplace_back(*e);
        }
    }
    const auto o = run_program(
        "/usr/bin/strace",
        {"strace", "-o", "trace", "-e", "trace=openat,fsync,rename", VOXLINK, "v.vtk", "d/o.mhd"},
        scratch.path(), {.time_limit = 20, .environment = environment});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string trace = read_file(scratch.path() + "/trace");
    const std::size_t synced = trace.find("fsync(");
    const std::size_t renamed = trace.find("rename(\"d/.o.mhd.");
    const std::size_t folder =
        trace.find("openat(AT_FDCWD, \"d/\", O_RDONLY|O_CLOEXEC|O_DIRECTORY)");
    ASSERT_NE(folder, std::string::npos) << trace;
    EXPECT_LT(synced, renamed) << trace;
    EXPECT_LT(renamed, folder) << trace;
    const std::string descriptor = trace.substr(trace.find("= ", folder) + 2, 1);
    const std::size_t sync = trace.find("fsync(" + descriptor + ")", folder);
    ASSERT_NE(sync, std::string::npos) << trace;
    EXPECT_TRUE(trace.substr(sync, trace.find('\n', sync) - sync).ends_with("= 0")) << trace;
}

// The text of a manual page as it reads: roff's escaped dashes and zero-width marks plain, and
// its lines (requests and all) joined by blanks.
std::string as_read(const std::string& roff) {
    std::string out;
    for (std::size_t i = 0; i < roff.size(); ++i) {
        if (roff.compare(i, 2, "\\-") == 0 || roff.compare(i, 2, "\\&") == 0) {
            out += roff[i + 1] == '-' ? "-" : "";
            ++i;
        } else {
            out += roff[i] == '\n' ? ' ' : roff[i];
        }
    }
    return out;
}

// Every format of voxlink's table where a user looks for it, with the same extensions, name
// and readers: the usage text, the manual (its name line, its list of formats, its example)
// and the README's table of companions.
TEST(voxlink, every_format_is_listed_in_the_usage_text_the_manual_and_the_readme) {
    const scratch_dir scratch;
    std::string usage = run_program(VOXLINK, {"voxlink", "--help"}, scratch.path()).out;
    for (std::size_t wrap = usage.find("\n "); wrap != std::string::npos;
         wrap = usage.find("\n ", wrap)) {
        const std::size_t words = usage.find_first_not_of(' ', wrap + 1);
        usage.replace(wrap, words - wrap, words - wrap > 3 ? " " : "\n  ");
        wrap += 1;
    }
    const std::string roff = read_file(VOXLINK_MANUAL);
    const std::string readme = read_file(VOX_README);
    const std::string name_line = as_read(roff.substr(roff.find(".SH NAME"), 120));
    for (const vox::companion::format_record& f : vox::companion::formats()) {
        SCOPED_TRACE(std::string(f.name));
        std::string extensions, readme_row = "| " + std::string(f.name) + " ";
        for (const std::string_view e : f.extensions) {
            extensions += (extensions.empty() ? "" : ", ") + std::string(e);
            readme_row += (e == f.extensions.front() ? "`" : ", `") + std::string(e) + "`";
        }
        const std::string readers(f.readers);
        EXPECT_NE(usage.find("\n  " + extensions + " "), std::string::npos) << usage;
        EXPECT_NE(
            usage.find(std::string(f.name) + ": " + std::string(f.grids) + " (" + readers + ")\n"),
            std::string::npos)
            << usage;
        EXPECT_NE(name_line.find(std::string(f.name)), std::string::npos) << name_line;
        EXPECT_NE(readme.find(readme_row + " |"), std::string::npos) << readme_row;
        // The manual's entry: a tag that names the extensions, then a paragraph that names
        // every reader.
        std::string entry;
        for (std::size_t tag = roff.find(".TP\n"); tag != std::string::npos && entry.empty();
             tag = roff.find(".TP\n", tag + 1)) {
            const std::size_t start = roff.find('\n', tag + 4) + 1;
            const std::string tagged = roff.substr(tag + 4, start - tag - 4);
            bool all = true;
            for (const std::string_view e : f.extensions) {
                all = all && tagged.find(" " + std::string(e)) != std::string::npos;
            }
            if (all) {
                const std::size_t end =
                    std::min(roff.find("\n.TP\n", start), roff.find("\n.PP\n", start));
                entry = as_read(roff.substr(start, end - start));
            }
        }
        ASSERT_FALSE(entry.empty()) << "no entry in the manual's list of formats";
        for (std::size_t at = 0; at < readers.size();) {
            const std::size_t end = std::min(readers.find(", ", at), readers.size());
            const std::string reader = readers.substr(at, end - at);
            EXPECT_NE(entry.find(reader), std::string::npos) << reader << " not in: " << entry;
            at = end + 2;
        }
        EXPECT_NE(as_read(roff).find(" head" + std::string(f.default_suffix) + ": " +
                                     std::string(f.name) + ", for " + readers + " "),
                  std::string::npos)
            << "the manual's example";
    }
}

// Past 4 GiB of samples, and far more: the sizes are checked against the file's, and nothing
// of the samples is read, so that it takes no time.
TEST(voxlink_large, links_a_sparse_file_of_100_gib_at_once) {
    const scratch_dir scratch;
    const std::string header =
        magic +
        "Output from voxeven\nBINARY\nDIMENSIONS  4096 4096 6400\n"
        "SPACING  1.000000 1.000000 1.000000\nORIGIN  0.000000 0.000000 0.000000\n" +
        point_data("unsigned_char", "107374182400");
    const std::string path = scratch.path() + "/v.vtk";
    write_file(path, header);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(header.size() + 107374182400ULL)), 0);
    const auto start = std::chrono::steady_clock::now();
    const auto o = run_program(VOXLINK, {"voxlink", "v.vtk"}, scratch.path(), {.time_limit = 20});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(read_file(scratch.path() + "/v.mhd").find("DimSize = 4096 4096 6400\n"),
              std::string::npos);
    EXPECT_LT(took.count(), 5) << "the samples were read";
    // One byte short of the grid is found, in a file past 4 GiB.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(header.size() + 107374182399ULL)), 0);
    EXPECT_EQ(run_program(VOXLINK, {"voxlink", "v.vtk", "w.nhdr"}, scratch.path()).err,
              "voxlink: v.vtk: samples: expected 107374182400 bytes (107374182400 points x 1 "
              "byte of unsigned_char), found 107374182399 (too few)\n");
}

} // namespace

namespace {

// Samples past 4 GiB into a file, behind a FIELD array that is a hole: MetaImage readers seek
// no further than 2^31 (but take -1 for samples that end the file), ParaView's XDMF reader no
// further than 2^32; NRRD readers seek anywhere.
TEST(voxlink_large, points_past_4_gib_where_each_format_can) {
    const scratch_dir scratch;
    const std::string path = scratch.path() + "/v.vtk";
    const std::uint64_t hole = 5ULL << 30;
    const std::string head = "# vtk DataFile Version 3.0\nfar\nBINARY\nDATASET STRUCTURED_POINTS\n"
                             "DIMENSIONS 4 3 2\nSPACING 1 1 1\nORIGIN 0 0 0\nFIELD FieldData 1\n"
                             "pad 1 " +
                             std::to_string(hole) + " unsigned_char\n";
    const std::string tail =
        "\nPOINT_DATA 24\nSCALARS s unsigned_short 1\nLOOKUP_TABLE default\n" + samples;
    write_file(path, head);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(head.size() + hole)), 0);
    { std::ofstream(path, std::ios::binary | std::ios::app) << tail; }
    const std::string offset = std::to_string(head.size() + hole + tail.size() - samples.size());
    auto o = run_program(VOXLINK, {"voxlink", "v.vtk"}, scratch.path(), {.time_limit = 20});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, written_lines[1] + written_lines[2] + written_lines[3]);
    EXPECT_EQ(o.err, "voxlink: v.vtk: no XDMF companion: the samples start past byte 2^32, where "
                     "ParaView's XDMF reader cannot seek\n");
    EXPECT_NE(read_file(scratch.path() + "/v.mhd").find("\nHeaderSize = -1\n"), std::string::npos);
    EXPECT_NE(read_file(scratch.path() + "/v.nhdr").find("\nbyte skip: " + offset + "\n"),
              std::string::npos);
    // A line feed after the samples, as VTK writes: MetaImage cannot point at them.
    std::ofstream(path, std::ios::binary | std::ios::app) << "\n";
    o = run_program(VOXLINK, {"voxlink", "v.vtk", "w.mhd"}, scratch.path(), {.time_limit = 20});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "voxlink: v.vtk: no MetaImage companion: the samples start past byte 2^31 "
                     "and do not end the file; MetaImage readers seek no further\n");
}

} // namespace

namespace {

// A sparse file: `head`, a FIELD array whose bytes are a hole, then `tail`, the hole's size chosen
// so that byte `at` of the tail lies at byte `offset` of the file.
void write_sparse(const std::string& path, const std::string& head, const std::string& tail,
                  std::size_t at, std::uint64_t offset) {
    std::uint64_t hole = offset - at - head.size();
    std::string line;
    for (int round = 0; round < 2; ++round) {
        line = "FIELD FieldData 1\npad 1 " + std::to_string(hole) + " unsigned_char\n";
        hole = offset - at - head.size() - line.size();
    }
    write_file(path, head + line);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(head.size() + line.size() + hole)), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << tail;
}

struct far_case {
    std::string name;
    std::string head, tail;
    std::size_t at; // the byte of the tail where the payload starts
    std::uint64_t offset;
    std::vector<std::pair<std::string, std::string>> lines; // as link_case's
    std::string err = {};
};

const std::string points = "BINARY\nDATASET STRUCTURED_POINTS\nDIMENSIONS 4 3 2\nSPACING 1 1 1\n"
                           "ORIGIN 0 0 0\n";
const std::string scalars = "\nPOINT_DATA 24\nSCALARS s unsigned_short 1\nLOOKUP_TABLE default\n";

const std::string grid_lines = "\nX_COORDINATES 4 float\n" + floats({0, 1, 3, 7}) +
                               "Y_COORDINATES 3 float\n" + floats({0, 2, 4}) +
                               "Z_COORDINATES 2 float\n" + floats({-1, 5}) + scalars;

// The last byte at which each format's readers still find a payload: MetaImage's HeaderSize
// up to 2^31 - 1, XDMF's Seek up to 2^32 - 1, for samples and coordinates alike.
class far : public testing::TestWithParam<far_case> {};
TEST_P(far, payloads_at_the_last_byte_a_format_reaches_are_pointed_at) {
    const far_case& c = GetParam();
    const scratch_dir scratch;
    write_sparse(scratch.path() + "/v.vtk", magic + "far\n" + c.head, c.tail, c.at, c.offset);
    write_file(scratch.path() + "/s.raw", samples);
    const auto o = run_program(VOXLINK, {"voxlink", "v.vtk"}, scratch.path(), {.time_limit = 20});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, c.err);
    for (const auto& [name, text] : c.lines) {
        EXPECT_NE(read_file(scratch.path() + "/" + name).find(text), std::string::npos)
            << name << " lacks: " << text << "\n"
            << read_file(scratch.path() + "/" + name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    voxlink_large, far,
    testing::Values(
        // A line feed after the samples: they do not end the file, and HeaderSize must say.
        far_case{"samples at byte 2^31 - 1",
                 points,
                 scalars + samples + "\n",
                 scalars.size(),
                 0x7fffffffULL,
                 {{"v.mhd", "\nHeaderSize = 2147483647\n"},
                  {"v.xmf", "Seek=\"2147483647\">v.vtk</DataItem>"},
                  {"v.nhdr", "\nbyte skip: 2147483647\n"}}},
        far_case{
            "samples at byte 2^32 - 1",
            points,
            scalars + samples,
            scalars.size(),
            0xffffffffULL,
            {{"v.mhd", "\nHeaderSize = -1\n"}, {"v.xmf", "Seek=\"4294967295\">v.vtk</DataItem>"}}},
        // The last coordinates; the samples in a file of their own, from its start.
        far_case{"coordinates at byte 2^32 - 1",
                 "BINARY_FILE s.raw\nDATASET RECTILINEAR_GRID\nDIMENSIONS 4 3 2\n",
                 grid_lines,
                 grid_lines.find("Z_COORDINATES 2 float\n") + 22,
                 0xffffffffULL,
                 {{"v.xmf", "<DataItem Dimensions=\"2\" NumberType=\"Float\" Precision=\"4\" "
                            "Format=\"Binary\" Endian=\"Big\" Seek=\"4294967295\">v.vtk"},
                  {"v.xmf", "Seek=\"0\">s.raw</DataItem>"}},
                 "voxlink: v.vtk: no MetaImage companion: a rectilinear grid has no single "
                 "spacing along each axis\nvoxlink: v.vtk: no NRRD companion: a rectilinear "
                 "grid has no single spacing along each axis\n"}),
    name_of<far_case>);

} // namespace
