// voxinfo, voxlink and the viewer on the same files, which they must see alike. The byte order of
// binary samples: voxinfo reports it, voxlink --byte-order=auto writes it into a companion, the
// viewer reads by it. The problems of a file: voxinfo reports them, voxlink refuses the file
// with the first of them, in the same words.
#include "e2e_support.hpp"
#include "volume.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

using vox::test::read_file;
using vox::test::run_program;
using vox::test::scratch_dir;
using vox::test::write_file;

struct order_case {
    std::string name;
    std::string type; // the type word
    std::uint32_t nx, ny, nz;
    // The value of sample `i`, as a double, and whether its bytes are written little-endian.
    std::function<double(std::uint64_t)> value;
    bool little;
    bool reference = false; // BINARY_FILE, the samples in s.raw
    // What the three must say: "big-endian", "little-endian", or why the order is unknown.
    std::string judged;
    std::string unknown_because = "";
};

void PrintTo(const order_case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

// The bytes of value `v` of a type of `size` bytes (reals for `real`), in either order.
std::string bytes_of(double v, unsigned size, bool real, bool little) {
    std::uint64_t bits = 0;
    if (real && size == 4) {
        const auto f = static_cast<float>(v);
        std::uint32_t b = 0;
        std::memcpy(&b, &f, 4);
        bits = b;
    } else if (real) {
        std::memcpy(&bits, &v, 8);
    } else {
        bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
    }
    std::string out(size, '\0');
    for (unsigned i = 0; i < size; ++i) {
        out[little ? i : size - 1 - i] = static_cast<char>((bits >> (8 * i)) & 0xffU);
    }
    return out;
}

// A smooth ramp that wraps every 1000 values.
double ramp(std::uint64_t i) {
    return static_cast<double>(i % 1000);
}

const order_case cases[] = {
    {"smooth shorts written big-endian", "unsigned_short", 64, 64, 4, ramp, false, false,
     "big-endian"},
    {"smooth shorts written little-endian", "unsigned_short", 64, 64, 4, ramp, true, false,
     "little-endian"},
    // More than the first 16 MiB are empty slices: only blocks from all through the payload see
    // that the last six slices are little-endian.
    {"34 empty slices of 40, then little-endian shorts", "unsigned_short", 512, 512, 40,
     [](std::uint64_t i) { return i < std::uint64_t{512} * 512 * 34 ? 0.0 : ramp(i); }, true, false,
     "little-endian"},
    {"random full-range shorts", "unsigned_short", 64, 64, 16,
     [](std::uint64_t i) {
         // splitmix64's finaliser: every bit of the index stirred into every bit
         std::uint64_t z = (i + 1) * 0x9e3779b97f4a7c15U;
         z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9U;
         z = (z ^ (z >> 27)) * 0x94d049bb133111ebU;
         return static_cast<double>((z ^ (z >> 31)) & 0xffffU);
     },
     false, false, "unknown", "the values look alike read either way round"},
    {"empty shorts", "short", 32, 32, 2, [](std::uint64_t) { return 0.0; }, false, false, "unknown",
     "the values judged do not vary"},
    {"two shorts", "short", 2, 1, 1, ramp, true, false, "unknown", "too few values to judge"},
    {"floats written big-endian", "float", 16, 16, 4,
     [](std::uint64_t i) { return 0.5 + static_cast<double>(i) * 0.25; }, false, false,
     "big-endian"},
    {"doubles written little-endian", "double", 16, 16, 4,
     [](std::uint64_t i) { return 1.0 + static_cast<double>(i); }, true, false, "little-endian"},
    {"ints written little-endian in another file", "int", 32, 32, 4, ramp, true, true,
     "little-endian"},
};

class byte_order : public testing::TestWithParam<order_case> {};

TEST_P(byte_order, is_taken_alike_by_voxinfo_voxlink_and_the_viewer) {
    const order_case& c = GetParam();
    const scratch_dir dir;
    const bool real = c.type == "float" || c.type == "double";
    const unsigned size = c.type.find("short") != std::string::npos ? 2
                          : c.type == "double"                      ? 8
                                                                    : 4;
    const std::uint64_t points = std::uint64_t{c.nx} * c.ny * c.nz;
    std::string payload;
    payload.reserve(points * size);
    for (std::uint64_t i = 0; i < points; ++i) {
        payload += bytes_of(c.value(i), size, real, c.little);
    }
    const std::string header =
        "# vtk DataFile Version 2.0\nsamples\n" +
        std::string(c.reference ? "BINARY_FILE s.raw" : "BINARY") + "\nDIMENSIONS " +
        std::to_string(c.nx) + " " + std::to_string(c.ny) + " " + std::to_string(c.nz) +
        "\nSPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA " + std::to_string(points) +
        "\nSCALARS scalars " + c.type + "\nLOOKUP_TABLE default\n";
    write_file(dir.path() + "/f.vtk", c.reference ? header : header + payload);
    if (c.reference) {
        write_file(dir.path() + "/s.raw", payload);
    }
    const bool little = c.judged == "little-endian";
    const std::string note =
        c.judged == "unknown"
            ? "the byte order of the samples is unknown: " + c.unknown_because +
                  "; taken as big-endian, as the layout declares"
            : "the samples look " + c.judged.substr(0, c.judged.find('-')) + "-endian; taken so";

    // voxinfo, as text and as JSON.
    const auto text = run_program(VOXINFO, {"voxinfo", "f.vtk"}, dir.path());
    const std::string line =
        "  byte order: " + c.judged +
        (c.judged == "unknown" ? ": " + c.unknown_because + "; read as big-endian, as declared"
                               : "") +
        "\n";
    EXPECT_NE(text.out.find(line), std::string::npos) << text.out;
    const auto json = run_program(VOXINFO, {"voxinfo", "--json", "f.vtk"}, dir.path());
    const std::string dtype =
        std::string(little ? "<" : ">") + (real ? "f" : "i") + std::to_string(size);
    EXPECT_NE(json.out.find("\"byte_order\":\"" + c.judged + "\""), std::string::npos) << json.out;
    if (c.type.find("unsigned") == std::string::npos) {
        EXPECT_NE(json.out.find("\"dtype\":\"" + dtype + "\""), std::string::npos) << json.out;
    }

    // voxlink, judging.
    const auto linked =
        run_program(VOXLINK, {"voxlink", "--byte-order=auto", "f.vtk", "f.mhd"}, dir.path());
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_EQ(linked.err, "voxlink: f.vtk: " + note + "\n");
    EXPECT_NE(read_file(dir.path() + "/f.mhd")
                  .find(std::string("ElementByteOrderMSB = ") + (little ? "False" : "True")),
              std::string::npos);

    // The viewer, judging: the order taken, the same words, and the values read back.
    vox::view::volume v;
    ASSERT_EQ(vox::view::open(dir.path() + "/f.vtk", vox::legacy::byte_order::automatic, v), "");
    EXPECT_EQ(v.little_endian_samples, little);
    EXPECT_EQ(v.order_note, note);
    EXPECT_EQ(v.order_unknown, c.judged == "unknown");
    if (c.judged != "unknown") {
        const std::uint64_t last = points - 1;
        std::vector<char> out(points * size);
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, v.whole(), out.data(), read), "");
        const std::string host =
            bytes_of(c.value(last), size, real, std::endian::native == std::endian::little);
        EXPECT_EQ(std::string(out.data() + last * size, size), host) << c.name;
    }
}

// The row's name as gtest accepts it.
template <typename Row>
std::string name_of(const testing::TestParamInfo<Row>& row) {
    std::string name = row.param.name;
    for (char& ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(files, byte_order, testing::ValuesIn(cases), name_of<order_case>);

struct problem_case {
    std::string name;
    std::string file;       // f.vtk
    std::string first_code; // of voxinfo's first problem; empty: none, voxlink writes
    unsigned problems = 0;  // how many voxinfo finds
    // The viewer reads the samples that the grid needs, as VTK's reader does, and no more.
    bool viewer_reads = false;
};

void PrintTo(const problem_case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

const std::string head = "# vtk DataFile Version 2.0\nt\n";
const std::string grid = "DIMENSIONS 4 3 2\nSPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 24\n";

std::string times(const std::string& word, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += word + " ";
    }
    return out;
}

const problem_case problem_cases[] = {
    {"consistent text",
     head + "ASCII\n" + grid + "SCALARS s short\nLOOKUP_TABLE default\n" + times("7", 24) + "\n",
     "", 0},
    // Counted as the numbers that are numbers: 23 of 24, and a word that is none.
    {"23 numbers and a word as text samples",
     head + "ASCII\n" + grid + "SCALARS s short\nLOOKUP_TABLE default\n" + times("7", 23) + "abc\n",
     "samples_count", 2},
    {"a word in a text attribute after the samples",
     head + "ASCII\n" + grid + "SCALARS s short\nLOOKUP_TABLE default\n" + times("7", 24) +
         "\nSCALARS t float\nLOOKUP_TABLE default\n" + times("1.5", 23) + "x\n",
     "values_count", 2},
    {"a binary attribute cut short after the samples",
     head + "BINARY\n" + grid + "SCALARS s unsigned_char\nLOOKUP_TABLE default\n" +
         std::string(24, '\x01') + "\nSCALARS t short\nLOOKUP_TABLE default\n" +
         std::string(20, '\0'),
     "values_length", 1},
    {"25 numbers as text samples",
     head + "ASCII\n" + grid + "SCALARS s short\nLOOKUP_TABLE default\n" + times("7", 25) + "\n",
     "samples_count", 1, true},
    {"CELL_DATA of another grid",
     head + "ASCII\n" + grid + "SCALARS s short\nLOOKUP_TABLE default\n" + times("7", 24) +
         "\nCELL_DATA 7\n",
     "cell_data_count", 1},
};

class refusal : public testing::TestWithParam<problem_case> {};

// The message of voxinfo's first problem in its JSON object; empty where there is none.
std::string first_problem(const std::string& json, std::string& code) {
    const std::string list = "\"problems\":[{\"code\":\"";
    const auto at = json.find(list);
    if (at == std::string::npos) {
        return {};
    }
    const auto code_end = json.find('"', at + list.size());
    code = json.substr(at + list.size(), code_end - at - list.size());
    const std::string message = "\"message\":\"";
    const auto from = json.find(message, code_end) + message.size();
    return json.substr(from, json.find("\"}", from) - from);
}

TEST_P(refusal, is_voxinfos_first_problem_in_its_words) {
    const problem_case& c = GetParam();
    const scratch_dir dir;
    write_file(dir.path() + "/f.vtk", c.file);
    const auto info = run_program(VOXINFO, {"voxinfo", "--json", "f.vtk"}, dir.path());
    std::string code;
    const std::string first = first_problem(info.out, code);
    EXPECT_EQ(code, c.first_code) << info.out;
    EXPECT_EQ(info.out.find("\"result\":\"" + std::to_string(c.problems) + " problem") !=
                  std::string::npos,
              c.problems > 0)
        << info.out;
    const auto linked = run_program(VOXLINK, {"voxlink", "f.vtk", "f.mhd"}, dir.path());
    if (c.first_code.empty()) {
        EXPECT_EQ(linked.status, 0) << linked.err;
        EXPECT_EQ(linked.err, "");
    } else {
        EXPECT_EQ(linked.status, 1);
        EXPECT_EQ(linked.err, "voxlink: f.vtk: " + first + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path() + "/f.mhd"));
    }
    // The viewer refuses a file for its samples, when it opens it or reads them, in those words.
    if (c.first_code.starts_with("samples")) {
        const std::string path = dir.path() + "/f.vtk";
        vox::view::volume v;
        std::string why = vox::view::open(path, vox::legacy::byte_order::big_endian, v);
        if (why.empty()) {
            std::vector<char> out(std::size_t{24} * 8);
            std::uint64_t read = 0;
            why = vox::view::read_samples(v, v.whole(), out.data(), read);
        }
        EXPECT_EQ(why, c.viewer_reads ? std::string() : path + ": " + first);
    }
}

INSTANTIATE_TEST_SUITE_P(files, refusal, testing::ValuesIn(problem_cases), name_of<problem_case>);

} // namespace
