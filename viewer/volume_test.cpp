// The volume under the VTK reader, without VTK: the bytes of a part of the grid, the samples read
// from them in either byte order, and the reasons a file is refused.
#include "volume.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using vox::view::byte_order;
using vox::view::extent;
using ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

const std::string folder = [] {
    char name[] = "/tmp/vox_volume_XXXXXX";
    return std::string(::mkdtemp(name));
}();

std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// A uniform grid of 4 x 3 x 2 unsigned_short samples, the value of point n being 1000 + n.
std::string header(const std::string& encoding, const std::string& points = "24") {
    return "# vtk DataFile Version 2.0\nOutput from voxeven\n" + encoding +
           "\nDIMENSIONS  4 3 2\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " + points +
           "\nSCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n";
}

std::string samples(bool little) {
    std::string bytes;
    for (unsigned n = 0; n < 24; ++n) {
        const unsigned v = 1000 + n;
        const char hi = static_cast<char>(v >> 8), lo = static_cast<char>(v & 0xff);
        bytes += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return bytes;
}

std::vector<unsigned> expected(const extent& e) {
    std::vector<unsigned> values;
    for (int k = e[4]; k <= e[5]; ++k) {
        for (int j = e[2]; j <= e[3]; ++j) {
            for (int i = e[0]; i <= e[1]; ++i) {
                values.push_back(static_cast<unsigned>(1000 + i + 4 * (j + 3 * k)));
            }
        }
    }
    return values;
}

std::string text(unsigned count) {
    std::string words;
    for (unsigned n = 0; n < count; ++n) {
        words += std::to_string(1000 + n) + (n % 5 == 4 ? "\n" : " ");
    }
    return words;
}

TEST(volume, reads_the_bytes_of_a_part_only) {
    const std::string path = write("big.vtk", header("BINARY") + samples(false));
    vox::view::volume v;
    ASSERT_EQ(vox::view::open(path, byte_order::big_endian, v), "");
    const std::uint64_t at = header("BINARY").size();
    const struct {
        extent part;
        ranges bytes;
    } rows[] = {
        {{0, 3, 0, 2, 0, 1}, {{at, 48}}},                          // whole: one range
        {{0, 3, 0, 2, 1, 1}, {{at + 24, 24}}},                     // a slice
        {{0, 3, 1, 2, 0, 1}, {{at + 8, 16}, {at + 32, 16}}},       // rows of two slices
        {{1, 2, 0, 0, 0, 1}, {{at + 2, 4}, {at + 26, 4}}},         // a run of each row
        {{3, 3, 2, 2, 1, 1}, {{at + 46, 2}}},                      // the last point
        {{0, 3, 2, 2, 0, 0}, {{at + 16, 8}}},                      // the last row of the first
        {{0, 3, 2, 2, 0, 1}, {{at + 16, 8}, {at + 40, 8}}},        // ...and of the second slice
        {{0, 0, 0, 2, 0, 0}, {{at, 2}, {at + 8, 2}, {at + 16, 2}}} // a column
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vox::view::byte_ranges(v, row.part), row.bytes);
        const std::vector<unsigned> want = expected(row.part);
        std::vector<std::uint16_t> got(want.size());
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, row.part, reinterpret_cast<char*>(got.data()), read),
                  "");
        EXPECT_EQ(std::vector<unsigned>(got.begin(), got.end()), want);
        EXPECT_EQ(read, want.size() * 2);
    }
}

TEST(volume, reads_every_encoding_and_byte_order) {
    std::string text;
    for (unsigned n = 0; n < 24; ++n) {
        text += std::to_string(1000 + n) + (n % 5 == 4 ? "\n" : " ");
    }
    write("s.raw", samples(false));
    const struct {
        const char* name;
        std::string bytes;
        byte_order order;
        bool little;
    } rows[] = {
        {"big", header("BINARY") + samples(false), byte_order::big_endian, false},
        {"little", header("BINARY") + samples(true), byte_order::little_endian, true},
        {"judged big", header("BINARY") + samples(false), byte_order::automatic, false},
        {"judged little", header("BINARY") + samples(true), byte_order::automatic, true},
        {"text", header("ASCII") + text, byte_order::big_endian, false},
        {"text with numbers past the points", header("ASCII") + text + "1024 1025\n",
         byte_order::big_endian, false},
        {"reference", header("BINARY_FILE s.raw"), byte_order::big_endian, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        vox::view::volume v;
        ASSERT_EQ(vox::view::open(write("f.vtk", row.bytes), row.order, v), "");
        EXPECT_EQ(v.little_endian_samples, row.little);
        // The whole grid, a part of one slice, and parts that span both slices.
        for (const extent part : {v.whole(), extent{1, 2, 1, 2, 1, 1}, extent{1, 2, 1, 2, 0, 1},
                                  extent{0, 3, 2, 2, 0, 1}, extent{3, 3, 0, 0, 0, 1}}) {
            // Guard values after the part, which nothing may write.
            const std::size_t n = expected(part).size();
            std::vector<std::uint16_t> got(n + 4, 0x5555);
            std::uint64_t read = 0;
            ASSERT_EQ(vox::view::read_samples(v, part, reinterpret_cast<char*>(got.data()), read),
                      "");
            EXPECT_EQ(std::vector<unsigned>(got.begin(), got.begin() + static_cast<long>(n)),
                      expected(part));
            EXPECT_EQ(std::vector<unsigned>(got.begin() + static_cast<long>(n), got.end()),
                      std::vector<unsigned>(4, 0x5555));
        }
    }
}

// Each width of value, big-endian in the file, comes out in the host's order: counts that leave
// a tail past the last whole 8 bytes, and a volume past the MiB that is read at a time.
TEST(volume, swaps_every_width_into_the_host_order) {
    if constexpr (std::endian::native != std::endian::little) {
        GTEST_SKIP() << "the expected bytes are those of a little-endian host";
    }
    const struct {
        const char* type;
        unsigned size, points;
    } rows[] = {
        {"unsigned_char", 1, 5}, {"short", 2, 5},  {"unsigned_short", 2, 3},       {"int", 4, 5},
        {"float", 4, 1},         {"double", 8, 5}, {"unsigned_short", 2, 600'001},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.type) + " x " + std::to_string(row.points));
        // Value n has the bytes n, n + 1, ... big-endian in the file: reversed in memory.
        std::string file =
            "# vtk DataFile Version 2.0\nt\nBINARY\nDIMENSIONS  " + std::to_string(row.points) +
            " 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " + std::to_string(row.points) +
            "\nSCALARS scalars  " + row.type + "\nLOOKUP_TABLE default\n";
        std::string want;
        for (unsigned n = 0; n < row.points; ++n) {
            std::string value;
            for (unsigned b = 0; b < row.size; ++b) {
                value += static_cast<char>((n * 7 + b) & 0xff);
            }
            file += value;
            want += std::string(value.rbegin(), value.rend());
        }
        vox::view::volume v;
        ASSERT_EQ(vox::view::open(write("w.vtk", file), byte_order::big_endian, v), "");
        std::string got(want.size(), '\0');
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, v.whole(), got.data(), read), "");
        EXPECT_EQ(read, want.size());
        EXPECT_TRUE(got == want) << "first difference at byte "
                                 << std::mismatch(got.begin(), got.end(), want.begin()).first -
                                        got.begin();
    }
}

// Values as bytes, big-endian or little-endian.
template <typename T>
std::string bytes_of(std::initializer_list<T> values, bool little = false) {
    std::string out;
    for (const T value : values) {
        char b[sizeof(T)];
        std::memcpy(b, &value, sizeof b);
        if ((std::endian::native == std::endian::little) != little) {
            std::reverse(b, b + sizeof b);
        }
        out.append(b, sizeof b);
    }
    return out;
}

std::string rectilinear(bool little, const std::string& type = "float") {
    const auto coordinates = [&](std::initializer_list<double> values) {
        if (type == "double") {
            return bytes_of<double>(values, little);
        }
        std::string out;
        for (const double d : values) {
            out += bytes_of<float>({static_cast<float>(d)}, little);
        }
        return out;
    };
    return "# vtk DataFile Version 2.0\nOutput from voxaxis\nBINARY\nDIMENSIONS  4 2 1\n"
           "X_COORDINATES 4 " +
           type + "\n" + coordinates({0, 0.5, 1.5, 4}) + "Y_COORDINATES 2 " + type + "\n" +
           coordinates({-1, 1}) + "Z_COORDINATES 1 " + type + "\n" + coordinates({7}) +
           "POINT_DATA  8\nSCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n" +
           bytes_of<std::uint16_t>({1, 2, 3, 4, 5, 6, 7, 8}, little);
}

// A rectilinear grid of 4 x 1 x 1 points: the bytes of its x coordinates, and 0 for y and z.
std::string x_line(const std::string& type, const std::string& x, const std::string& zero) {
    return "# vtk DataFile Version 2.0\nOutput from voxaxis\nBINARY\nDIMENSIONS  4 1 1\n"
           "X_COORDINATES 4 " +
           type + "\n" + x + "Y_COORDINATES 1 " + type + "\n" + zero + "Z_COORDINATES 1 " + type +
           "\n" + zero + "POINT_DATA  4\nSCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n" +
           bytes_of<std::uint16_t>({1, 2, 3, 4});
}

// The grid lines of every grid, from coordinates in either byte order, judged or as told, and
// from the spacing and origin of a slice stack.
TEST(volume, places_the_grid_lines) {
    using lines = std::array<std::vector<double>, 3>;
    const lines axis = {{{0, 0.5, 1.5, 4}, {-1, 1}, {7}}};
    // Floats a little above 1, stored little-endian: read big-endian, their low bytes (0x72 to
    // 0x7e) lead and make them 2.5e30 to 4.3e37, far out but finite. They increase read either
    // way, so that only how far out they are tells the order.
    const std::vector<float> near_one = {
        std::bit_cast<float>(0x3f800072U), std::bit_cast<float>(0x3f800076U),
        std::bit_cast<float>(0x3f80007aU), std::bit_cast<float>(0x3f80007eU)};
    const struct {
        const char* name;
        std::string bytes;
        byte_order order;
        lines want;
    } rows[] = {
        {"big-endian floats", rectilinear(false), byte_order::big_endian, axis},
        {"big-endian doubles", rectilinear(false, "double"), byte_order::big_endian, axis},
        {"little-endian floats as told", rectilinear(true), byte_order::little_endian, axis},
        {"little-endian floats judged", rectilinear(true), byte_order::automatic, axis},
        {"big-endian doubles judged", rectilinear(false, "double"), byte_order::automatic, axis},
        {"little-endian shorts judged",
         x_line("short", bytes_of<std::int16_t>({0, 200, 300, 400}, true), std::string(2, '\0')),
         byte_order::automatic, lines{{{0, 200, 300, 400}, {0}, {0}}}},
        {"little-endian floats judged by their size alone",
         x_line("float",
                bytes_of<float>({near_one[0], near_one[1], near_one[2], near_one[3]}, true),
                std::string(4, '\0')),
         byte_order::automatic, lines{{{near_one.begin(), near_one.end()}, {0}, {0}}}},
        {"slice stack",
         "# vtk DataFile Version 2.0\nOutput from voxslab\nASCII\nDIMENSIONS  3 2 2\n"
         "SPACING  0.5 2\nORIGIN  -1 10\nLOCATIONS 2 float\n0 3\nPOINT_DATA  12\n"
         "SCALARS scalars  short\nLOOKUP_TABLE default\n" +
             text(12),
         byte_order::big_endian, lines{{{-1, -0.5, 0}, {10, 12}, {0, 3}}}},
        {"uniform", header("BINARY") + samples(false), byte_order::big_endian, lines{}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        vox::view::volume v;
        ASSERT_EQ(vox::view::open(write("g.vtk", row.bytes), row.order, v), "");
        EXPECT_EQ(v.coordinates, row.want);
    }
}

// A volume opened again holds nothing of the file before: each file after every other gives
// what it gives opened afresh.
TEST(volume, opens_again_afresh) {
    std::vector<std::pair<std::string, byte_order>> files = {
        {write("a.vtk", rectilinear(true)), byte_order::automatic},
        {write("b.vtk", header("ASCII") + text(24)), byte_order::big_endian},
        {write("c.vtk", header("BINARY") + samples(true)), byte_order::little_endian},
        {write("d.vtk", header("BINARY") + samples(false)), byte_order::automatic},
    };
    write("s.raw", samples(false));
    files.emplace_back(write("e.vtk", header("BINARY_FILE s.raw")), byte_order::big_endian);
    const auto same = [](const vox::view::volume& a, const vox::view::volume& b) {
        return a.coordinates == b.coordinates &&
               a.little_endian_samples == b.little_endian_samples &&
               a.samples_path == b.samples_path && a.samples_offset == b.samples_offset &&
               a.header_path == b.header_path && a.model.dimensions == b.model.dimensions &&
               a.model.coding == b.model.coding;
    };
    for (const auto& [before, before_order] : files) {
        for (const auto& [path, order] : files) {
            SCOPED_TRACE(before + " then " + path);
            vox::view::volume again, fresh;
            ASSERT_EQ(vox::view::open(before, before_order, again), "");
            ASSERT_EQ(vox::view::open(path, order, again), "");
            ASSERT_EQ(vox::view::open(path, order, fresh), "");
            EXPECT_TRUE(same(again, fresh));
        }
    }
}

// Bits, eight to a byte, the first in the highest bit, of every part.
TEST(volume, reads_bits_from_the_highest) {
    // 4 x 3 x 2 bits, point n set where n % 3 == 0 or n == 1.
    std::vector<unsigned char> all(24);
    std::string bytes(3, '\0');
    for (unsigned n = 0; n < 24; ++n) {
        all[n] = n % 3 == 0 || n == 1 ? 1 : 0;
        bytes[n / 8] = static_cast<char>(bytes[n / 8] | (all[n] << (7 - n % 8)));
    }
    std::string file = header("BINARY") + bytes;
    file.replace(file.find("unsigned_short"), 14, "bit");
    vox::view::volume v;
    ASSERT_EQ(vox::view::open(write("bits.vtk", file), byte_order::big_endian, v), "");
    for (const extent part : {v.whole(), extent{1, 2, 0, 0, 0, 0}, extent{1, 3, 1, 2, 0, 1}}) {
        std::vector<unsigned char> want;
        for (int k = part[4]; k <= part[5]; ++k) {
            for (int j = part[2]; j <= part[3]; ++j) {
                for (int i = part[0]; i <= part[1]; ++i) {
                    want.push_back(all[static_cast<std::size_t>(i + 4 * (j + 3 * k))]);
                }
            }
        }
        std::vector<unsigned char> got(want.size());
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, part, reinterpret_cast<char*>(got.data()), read), "");
        EXPECT_EQ(got, want) << part[0] << " " << part[1];
    }
}

// Colours given as text are kept as VTK's reader keeps them: 255 * v + 0.5 towards zero, its low
// byte; nothing is clamped.
TEST(volume, keeps_text_colours_as_vtk_does) {
    const struct {
        const char* word;
        unsigned byte;
    } rows[] = {
        {"0", 0},    {"0.5", 128}, {"1", 255},   {"0.998", 254}, {"0.001", 0},
        {"11", 245}, {"1.002", 0}, {"-1", 2},    {"-0.003", 0},  {"2", 254},
        {"1e20", 0}, {"0.25", 64}, {"0.7", 178}, {"-0.5", 129},  {"3.2", 48},
    };
    std::string words;
    for (const auto& row : rows) {
        words += std::string(row.word) + "\n";
    }
    const auto count = std::to_string(std::size(rows));
    const std::string path =
        write("colours.vtk", "# vtk DataFile Version 2.0\nc\nASCII\nDIMENSIONS  " + count +
                                 " 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " + count +
                                 "\nCOLOR_SCALARS grey 1\n" + words);
    vox::view::volume v;
    ASSERT_EQ(vox::view::open(path, byte_order::big_endian, v), "");
    std::vector<unsigned char> got(std::size(rows));
    std::uint64_t read = 0;
    ASSERT_EQ(vox::view::read_samples(v, v.whole(), reinterpret_cast<char*>(got.data()), read), "");
    for (std::size_t n = 0; n < std::size(rows); ++n) {
        EXPECT_EQ(got[n], rows[n].byte) << rows[n].word;
    }
}

// Text values come out as the reader library's rule for a word stores them, whatever their form,
// read as they are found or not: words that start as a plain number and go on, words past what
// is read at a time, one that runs across the MiB a thread reads at a time.
TEST(volume, reads_text_values_as_the_reader_stores_them) {
    const struct {
        const char* type;
        const char* keyword; // and what follows the name
        unsigned size;
        bool colours;
        const char* forms; // the words, apart
        const char* bits;  // for bits, the byte of each form: 0 for zero, 1 for any other number
    } rows[] = {
        {"float", "SCALARS v float\nLOOKUP_TABLE default", 4, false,
         "1.5e3 -0 +.5 5. -12.75 123456789012345678 12345678901234567890 0.1 1E2 -3.5 7 inf "
         "9007199254740993 +2.2250738585072014e-308 -.0 1e-5 65535 nan 0.3 "
         "1.000000000000000000001",
         nullptr},
        {"unsigned_char", "COLOR_SCALARS v 1", 1, true, "0.5 11 -1 1.5e-1 7 -0.003", nullptr},
        {"short", "SCALARS v short\nLOOKUP_TABLE default", 2, false,
         "-0 +7 65535 -1 300 4294967296 1234567890123456789 18446744073709551615 "
         "-9223372036854775808 00000000000000000042 -32768",
         nullptr},
        {"bit", "SCALARS v bit\nLOOKUP_TABLE default", 1, false,
         "0 1 -0 7 +0 -1 00000000000000000042 65536 00", "010101110"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keyword);
        std::istringstream split(row.forms);
        const std::vector<std::string> forms{std::istream_iterator<std::string>(split), {}};
        std::string words;
        std::vector<std::string> each;
        for (std::size_t n = 0; words.size() < 1200000; ++n) {
            std::string word = forms[n % forms.size()];
            if (std::isdigit(static_cast<unsigned char>(word.back())) != 0 && word.size() < 12) {
                word.append(n / forms.size() % 3, '0'); // every form in more than one length
            }
            if (words.size() + 40 > 1U << 20 && words.size() < 1U << 20) {
                // A plain number across the first MiB that one thread reads.
                words.append((1U << 20) - 4 - words.size(), ' ');
                word = "12345678";
            }
            each.push_back(word);
            words += each.back() + (n % 9 == 8 ? "\n" : " ");
        }
        const auto count = std::to_string(each.size());
        const std::string head = "# vtk DataFile Version 2.0\nt\nASCII\nDIMENSIONS  " + count +
                                 " 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " + count +
                                 "\n" + row.keyword + "\n";
        vox::view::volume v;
        ASSERT_EQ(vox::view::open(write("values.vtk", head + words), byte_order::big_endian, v),
                  "");
        const vox::legacy::type_info& type = *vox::legacy::find_type(row.type);
        std::string expected(each.size() * row.size, '\0');
        for (std::size_t n = 0; n < each.size(); ++n) {
            ASSERT_TRUE(vox::legacy::store_text_value(type, row.colours, each[n].data(),
                                                      each[n].data() + each[n].size(),
                                                      expected.data() + n * row.size));
        }
        for (std::size_t n = 0; row.bits != nullptr && n < forms.size(); ++n) {
            EXPECT_EQ(expected[n], row.bits[n] - '0') << forms[n];
        }
        for (const unsigned threads : {1U, 2U}) {
            std::string got(expected.size(), '\x55');
            std::uint64_t read = 0;
            ASSERT_EQ(vox::view::read_samples(v, v.whole(), got.data(), read,
                                              {.threads = threads, .least_per_thread = 1}),
                      "");
            EXPECT_TRUE(got == expected) << threads << " threads";
        }
    }
}

// The files of VTK's corpus whose colours are text: the range that VTK's reader gave for them.
TEST(volume, reads_the_corpus_colours_as_vtk_did) {
    const struct {
        const char* file;
        unsigned low, high;
    } rows[] = {
        {"hand_color_ascii_bytes.vtk", 0, 245},
        {"hand_color_ascii.vtk", 0, 255},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        vox::view::volume v;
        ASSERT_EQ(
            vox::view::open(std::string(LEGACY_FILES) + "/" + row.file, byte_order::big_endian, v),
            "");
        std::vector<unsigned char> got(static_cast<std::size_t>(
            v.model.points() * v.model.arrays[*v.model.samples].components));
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, v.whole(), reinterpret_cast<char*>(got.data()), read),
                  "");
        EXPECT_EQ(*std::min_element(got.begin(), got.end()), row.low);
        EXPECT_EQ(*std::max_element(got.begin(), got.end()), row.high);
    }
}

// A file of nx x ny x nz values of `type`, bytes from a simple generator (text: numbers of every
// length, with blanks of every kind between them).
std::string grid_file(const std::string& type, unsigned size, bool text, int nx, int ny, int nz) {
    const auto points = static_cast<unsigned>(nx * ny * nz);
    std::string file = "# vtk DataFile Version 2.0\nt\n" + std::string(text ? "ASCII" : "BINARY") +
                       "\nDIMENSIONS  " + std::to_string(nx) + " " + std::to_string(ny) + " " +
                       std::to_string(nz) + "\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  " +
                       std::to_string(points) + "\nSCALARS scalars  " + type +
                       "\nLOOKUP_TABLE default\n";
    std::uint32_t x = 12345;
    const char* const blanks[] = {" ", "\n", "  ", "\t", " \r\n", "   \n\n"};
    for (unsigned n = 0; n < points; ++n) {
        x = x * 1103515245 + 12345;
        if (text) {
            const std::uint32_t digits = x >> 8 & ((size == 1 ? 0x7fU : 0x7fffU) >> (x & 7));
            file += (type == "float" && (x & 16) ? "-0." : "") + std::to_string(digits) +
                    blanks[(x >> 24) % 6];
        } else {
            for (unsigned b = 0; b < size; ++b) {
                file += static_cast<char>(x >> (8 * (b % 4)));
            }
        }
    }
    return file;
}

// Any number of threads reads what one reads: threads 1, 2, 3 and more than there are values or
// ranges (text: marks), for any part, both byte orders, every width, binary and text, memory
// advised to huge pages or not; also past the MiB that a thread reads at a time.
TEST(volume, reads_alike_on_any_number_of_threads) {
    const struct {
        const char* type;
        unsigned size;
        int nx, ny, nz;
    } grids[] = {
        {"unsigned_char", 1, 7, 5, 3}, {"short", 2, 7, 5, 3},     {"unsigned_short", 2, 7, 5, 3},
        {"int", 4, 7, 5, 3},           {"float", 4, 7, 5, 3},     {"double", 8, 7, 5, 3},
        {"long", 8, 7, 5, 3},          {"short", 2, 300, 200, 9},
    };
    for (const auto& grid : grids) {
        for (const bool text : {false, true}) {
            const std::string path = write(
                "threads.vtk", grid_file(grid.type, grid.size, text, grid.nx, grid.ny, grid.nz));
            for (const byte_order order : {byte_order::big_endian, byte_order::little_endian}) {
                vox::view::volume v;
                ASSERT_EQ(vox::view::open(path, order, v), "");
                const int x = grid.nx - 1, y = grid.ny - 1, z = grid.nz - 1;
                for (const extent part : {v.whole(), extent{1, x - 1, 0, y, 0, z},
                                          extent{2, 2, 1, y - 1, 1, z}, extent{0, x, y, y, 0, z},
                                          extent{x, x, y, y, z, z}, extent{0, x, 1, 2, 1, 1}}) {
                    const auto values = static_cast<std::size_t>(part[1] - part[0] + 1) *
                                        static_cast<std::size_t>(part[3] - part[2] + 1) *
                                        static_cast<std::size_t>(part[5] - part[4] + 1);
                    std::string one(values * grid.size, '\0');
                    std::uint64_t read_one = 0;
                    ASSERT_EQ(vox::view::read_samples(v, part, one.data(), read_one,
                                                      {.threads = 1, .least_per_thread = 1}),
                              "");
                    // More threads than values for the small grids.
                    const bool small = grid.nx * grid.ny * grid.nz < 200;
                    for (const unsigned threads : {2U, 3U, 7U, small ? 200U : 5U}) {
                        SCOPED_TRACE(std::string(grid.type) + (text ? " text" : " binary") +
                                     (order == byte_order::big_endian ? " big" : " little") +
                                     ", part from " + std::to_string(part[0]) + " " +
                                     std::to_string(part[2]) + " " + std::to_string(part[4]) +
                                     ", " + std::to_string(threads) + " threads");
                        std::string got(one.size(), '\x55');
                        std::uint64_t read = 0;
                        ASSERT_EQ(vox::view::read_samples(v, part, got.data(), read,
                                                          {.threads = threads,
                                                           .least_per_thread = 1,
                                                           .huge_pages = threads % 2 == 1}),
                                  "");
                        EXPECT_TRUE(got == one);
                        EXPECT_EQ(read, read_one);
                    }
                }
            }
        }
    }
}

TEST(volume, refuses_with_the_reason) {
    const struct {
        const char* name;
        std::string bytes; // none: no file
        std::string why;
    } rows[] = {
        {"too few", header("BINARY") + samples(false).substr(1),
         "samples: expected 48 bytes (24 points x 2 bytes of unsigned_short), found 47 (too few)"},
        // In voxinfo's words: the numbers that are numbers are counted, then the words that are
        // none.
        {"too few words", header("ASCII") + "1 2 3\n",
         "samples: expected 24 numbers (the points), found 3"},
        {"no number", header("ASCII") + "1 2 x" + std::string(21, '7') + "\n" + text(21),
         "samples: expected 24 numbers (the points), found 23"},
        {"no number among enough",
         header("ASCII") + "1 2 x" + std::string(21, '7') + " y\n" + text(22),
         "samples: 2 words are not a number of type unsigned_short, the first \"x777"},
        {"points", header("BINARY", "25") + samples(false), "POINT_DATA is 25, expected 24"},
        {"no reference", header("BINARY_FILE gone.raw"),
         "samples: the referenced file gone.raw is not found"},
        {"not the layout", "# vtk DataFile\n", "not in the legacy layout"},
        {"no file", "", "cannot be opened"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path =
            row.bytes.empty() ? folder + "/none.vtk" : write("bad.vtk", row.bytes);
        vox::view::volume v;
        std::string why = vox::view::open(path, byte_order::big_endian, v);
        if (why.empty()) {
            // Text samples are counted when they are read.
            std::vector<std::uint16_t> got(24);
            std::uint64_t read = 0;
            why = vox::view::read_samples(v, v.whole(), reinterpret_cast<char*>(got.data()), read);
        }
        EXPECT_NE(why.find(row.why), std::string::npos) << why;
    }
}

TEST(volume, claims_the_files_without_a_dataset_line) {
    const struct {
        std::string bytes;
        bool claimed;
    } rows[] = {
        {header("BINARY"), true},
        {header("BINARY_FILE a b.raw"), true},
        {header("ASCII"), true},
        {"# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\n", false},
        {"# vtk DataFile Version 3.0\nt\nBINARY\n\n  dataset POLYDATA\n", false},
        {"# vtk DataFile Version 3.0\n", false},
        // The magic line as the parser takes it: a version, with blanks or tabs before it.
        {"# vtk DataFile Version\t4.2\nt\nBINARY\nDIMENSIONS  1 1 1\n", true},
        {"# vtk DataFile Version x\nt\nBINARY\nDIMENSIONS  1 1 1\n", false},
        {"# vtk DataFile Versions 2.0\nt\nBINARY\nDIMENSIONS  1 1 1\n", false},
        {"solid\n", false},
        {"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vox::view::claims(write("c.vtk", row.bytes)), row.claimed) << row.bytes;
    }
}

} // namespace
