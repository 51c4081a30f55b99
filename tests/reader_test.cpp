// The reader on its own: whatever sizes the reads come in, a file gives the same report, so that
// nothing depends on where the buffer happens to end.
#include "inspect.hpp"
#include "json.hpp"
#include "values.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Hands out at most `step` bytes a read.
class trickle_source final : public vox::legacy::source {
  public:
    trickle_source(std::string_view bytes, std::size_t step) : bytes_(bytes), step_(step) {}
    long read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min({size, step_, bytes_.size()});
        std::memcpy(buffer, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return static_cast<long>(n);
    }

  private:
    std::string_view bytes_;
    std::size_t step_;
};

// 16-bit values, each stored low byte first: smooth read that way, rough read big-endian.
std::string little_endian_ramp(std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t v = 1000 + i * 5 / 2 % 60000;
        bytes += static_cast<char>(v & 0xff);
        bytes += static_cast<char>(v >> 8);
    }
    return bytes;
}

std::string numbers(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += std::to_string(i * 7919 % 65536) + (i % 16 == 15 ? "\n" : " ");
    }
    return text;
}

const std::string title = "# vtk DataFile Version 2.0\nOutput from voxaxis\n";

const struct {
    const char* name;
    std::string bytes;
} files[] = {
    {"rectilinear text, glued and with a long word",
     title + "ASCII\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n0 1 2Y_COORDINATES 1 float\n" +
         std::string(300, 'w') + " 5\nZ_COORDINATES 1 float\n-1e400\nPOINT_DATA  3\n" +
         "SCALARS scalars  double\nLOOKUP_TABLE default\n1 2 " + std::string(200000, '9') + " 4"},
    {"rectilinear text, long numbers that run into keywords",
     title + "ASCII\nDIMENSIONS  3 1 1\nX_COORDINATES 3 float\n0 1 " + std::string(125, '2') +
         "Y_COORDINATES 1 float\n" + std::string(200, '3') + "Z_COORDINATES 1 float\n-" +
         std::string(140, '4') + "POINT_DATA  3\nSCALARS scalars  double\nLOOKUP_TABLE default\n" +
         "1 2 3"},
    {"rectilinear binary, keywords right after the values",
     title + "BINARY\nDIMENSIONS  2 1 1\nX_COORDINATES 2 float\n" +
         std::string("\0\0\0\0?\x80\0\0", 8) + "Y_COORDINATES 1 float\n" + std::string(4, '\0') +
         "Z_COORDINATES 1 float\n" + std::string(4, '\0') +
         "POINT_DATA  2\nSCALARS scalars  short\nLOOKUP_TABLE default\n" +
         std::string("\x01\x02\x03\x04", 4)},
    {"binary samples after keyword lines that end in blanks",
     title + "BINARY \nDIMENSIONS  4 1 1  \nSPACING  1 1 1\t\nORIGIN  0 0 0 \nPOINT_DATA  4   \n" +
         "SCALARS scalars  short \t \nLOOKUP_TABLE default    \n" +
         std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
    {"few little-endian binary samples",
     title + "BINARY\nDIMENSIONS  32 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  32\n" +
         "SCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n" + little_endian_ramp(32)},
    {"little-endian binary samples past several buffers",
     title + "BINARY\nDIMENSIONS  200000 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\n" +
         "POINT_DATA  200000\nSCALARS scalars  short\nLOOKUP_TABLE default\n" +
         little_endian_ramp(200000)},
    {"text samples past several buffers",
     title + "ASCII\nDIMENSIONS  70000 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  70000\n" +
         "SCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n" + numbers(70001)},
    {"binary samples with a partial value at the end",
     title + "BINARY\nDIMENSIONS  100001 1 1\nSPACING  1 1 1\nORIGIN  0 0 0\n" +
         "POINT_DATA  100001\nSCALARS scalars  int\nLOOKUP_TABLE default\n" + numbers(40000)},
};

TEST(reader, reports_alike_whatever_the_size_of_the_reads) {
    for (const auto& file : files) {
        vox::legacy::memory_source whole(file.bytes);
        const auto expected =
            vox::info::inspect(whole, {.header_path = "", .follow_reference = false});
        ASSERT_EQ(expected.failed, vox::info::report::failure::none) << expected.error;
        // Every read size up to past the longest keyword line, so that reads end at every byte
        // of it, and larger ones.
        std::vector<std::size_t> steps(40);
        std::iota(steps.begin(), steps.end(), 1);
        steps.insert(steps.end(), {4097, 131071});
        for (const std::size_t step : steps) {
            trickle_source part(file.bytes, step);
            const auto got =
                vox::info::inspect(part, {.header_path = "", .follow_reference = false});
            EXPECT_EQ(got.text, expected.text) << file.name << ", reads of " << step << " bytes";
        }
    }
}

// Where each array lies, as the parser finds it with no sink to take the values: the same
// wherever a read ends, also right after a keyword that ends converter-form values.
TEST(reader, places_the_arrays_alike_whatever_the_size_of_the_reads) {
    const auto places = [](vox::legacy::source& from) {
        vox::legacy::file_model model;
        const auto parsed = vox::legacy::parse(from, model);
        std::string out = parsed.message;
        for (const auto& a : model.arrays) {
            out += " " + a.keyword + "@" + std::to_string(a.offset) + "+" + std::to_string(a.bytes);
        }
        return out;
    };
    for (const auto& file : files) {
        vox::legacy::memory_source whole(file.bytes);
        const std::string expected = places(whole);
        for (std::size_t step = 1; step <= 40; ++step) {
            trickle_source part(file.bytes, step);
            EXPECT_EQ(places(part), expected) << file.name << ", reads of " << step << " bytes";
        }
    }
}

// Files that are not in the layout: the same message, whatever the size of the reads.
const struct {
    const char* name;
    std::string bytes;
    std::string error;
} broken[] = {
    {"reference line without its line feed", title + "BINARY_FILE v.raw",
     "line 3: expected \"BINARY\", \"ASCII\" or \"BINARY_FILE PATH\", found \"BINARY_FILE v.raw\""},
};

TEST(reader, explains_alike_whatever_the_size_of_the_reads) {
    for (const auto& file : broken) {
        for (const std::size_t step : {1UL, 3UL, 13UL, 131071UL}) {
            trickle_source part(file.bytes, step);
            const auto got =
                vox::info::inspect(part, {.header_path = "", .follow_reference = false});
            EXPECT_EQ(got.failed, vox::info::report::failure::layout);
            EXPECT_EQ(got.error, file.error) << file.name << ", reads of " << step << " bytes";
        }
    }
}

// A converter-form array read from a pipe, which may never end, is searched for the keyword
// after it only as far as its values could reach, and a MiB beyond; a file to its end.
TEST(reader, searches_a_pipe_only_so_far) {
    const std::string head = title + "BINARY\nDIMENSIONS  2 1 1\nX_COORDINATES 2 float\n";
    const std::string body = head + std::string(std::size_t{3} << 20, '\x01');
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        for (std::size_t at = 0; at < body.size();) {
            const ssize_t n = ::write(ends[1], body.data() + at, body.size() - at);
            if (n <= 0) {
                break;
            }
            at += static_cast<std::size_t>(n);
        }
        ::close(ends[1]);
    });
    vox::legacy::fd_source pipe(ends[0]);
    vox::legacy::file_model model;
    const auto piped = vox::legacy::parse(pipe, model);
    // The rest, so that the writer ends.
    char rest[65536];
    while (::read(ends[0], rest, sizeof rest) > 0) {
    }
    ::close(ends[0]);
    writer.join();
    // Two values: (2 + 1) * 64 bytes and the MiB.
    const std::string expected =
        ": expected \"Y_COORDINATES ...\" after the values of X_COORDINATES, ";
    EXPECT_TRUE(piped.message.ends_with(expected + "found none in 1048768 bytes")) << piped.message;
    vox::legacy::memory_source file(body);
    const auto whole = vox::legacy::parse(file, model);
    EXPECT_TRUE(whole.message.ends_with(expected + "found the end of the file")) << whole.message;
}

// The byte order of integers: the steps between neighbours read one way round must be less than
// an eighth of those read the other way, else it is unknown. Value pairs of 0 and a value whose
// two readings are X (as written, big-endian) and Y.
TEST(reader, judges_integer_order_past_an_eighth_of_the_steps) {
    using verdict = vox::legacy::order_evidence::verdict;
    const struct {
        unsigned char high, low; // X = 256 high + low, Y = 256 low + high
        verdict judged;
    } rows[] = {
        {8, 1, verdict::unknown},       // 2049 against 264: a ratio of 7.8
        {9, 1, verdict::little_endian}, // 2305 against 265: 8.7
        {1, 8, verdict::unknown},       // the other way round
        {1, 9, verdict::big_endian},    {0, 0, verdict::unknown}, // no step either way
    };
    const vox::legacy::type_info& type = *vox::legacy::find_type("unsigned_short");
    for (const auto& row : rows) {
        std::string bytes;
        for (int i = 0; i < 32; ++i) {
            bytes +=
                std::string{'\0', '\0', static_cast<char>(row.high), static_cast<char>(row.low)};
        }
        vox::legacy::order_evidence evidence(type);
        evidence.block(bytes.data(), bytes.size());
        EXPECT_EQ(evidence.judged(), row.judged) << int{row.high} << " " << int{row.low};
    }
}

// A text word as a double: exactly as strtod rounds it, the sign of zero too, or none where
// strtod takes less than the whole word; plain decimals of every length and point, the edges of
// 2^53, and words that are almost numbers.
TEST(reader, reads_text_reals_as_strtod_rounds_them) {
    std::vector<std::string> words = {"0",
                                      "-0",
                                      "+0",
                                      "-0.0",
                                      ".5",
                                      "5.",
                                      "-.5",
                                      "+.5",
                                      "007",
                                      "0.1",
                                      ".",
                                      "-",
                                      "+",
                                      "+-1",
                                      "-+1",
                                      "1..2",
                                      "1.2.3",
                                      "1.5x",
                                      "--1",
                                      "1-",
                                      "1e5",
                                      "2.5E-3",
                                      "1e400",
                                      "12345678901234567890",
                                      "18446744073709551616",
                                      "9007199254740992",
                                      "9007199254740993",
                                      "-9007199254740993",
                                      "900719925474099.3",
                                      "9007199254740992.5",
                                      "0.0000000000000000001",
                                      "1234567890123456789.",
                                      "99999999999999999.99",
                                      "0.30000000000000004",
                                      "123456.789",
                                      "-3.375"};
    // Random plain decimals: 1 to 21 digits, the point anywhere or nowhere, any sign.
    std::uint64_t x = 88172645463325252ULL;
    for (int n = 0; n < 20000; ++n) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const unsigned digits = 1 + static_cast<unsigned>(x % 21);
        const unsigned point = static_cast<unsigned>(x >> 8) % (digits + 2); // past the end: none
        std::string word = (x >> 16) % 3 == 0 ? "-" : (x >> 16) % 3 == 1 ? "+" : "";
        std::uint64_t y = x;
        for (unsigned d = 0; d < digits; ++d) {
            if (d == point) {
                word += '.';
            }
            y = y * 6364136223846793005ULL + 1442695040888963407ULL;
            word += static_cast<char>('0' + (y >> 33) % 10);
        }
        if (point == digits) {
            word += '.';
        }
        words.push_back(word);
    }
    for (const std::string& word : words) {
        char* stop = nullptr;
        const double expected = std::strtod(word.c_str(), &stop);
        const bool whole = !word.empty() && stop == word.c_str() + word.size();
        double got = 0;
        const bool ok = vox::legacy::parse_real(word.data(), word.data() + word.size(), got);
        EXPECT_EQ(ok, whole) << word;
        if (ok && whole) {
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
                << word << ": " << got << " for " << expected;
        }
    }
}

} // namespace

// Bytes as a JSON string: every control byte escaped with both hex digits, UTF-8 kept to its last
// character, and every byte of what is not UTF-8 (a lone lead, an encoded surrogate, an overlong
// form, past U+10FFFF) as U+FFFD, which every JSON reader takes.
TEST(json, writes_bytes_as_every_json_reader_takes_them) {
    const std::string fffd = "\xef\xbf\xbd";
    const struct {
        std::string bytes, json;
    } rows[] = {
        {"\x1f", "\"\\u001f\""},
        {"\x01\x1a\x7f", "\"\\u0001\\u001a\\u007f\""},
        {"\"\\\n\t\r", "\"\\\"\\\\\\n\\t\\r\""},
        {"a\xc3\xa9", "\"a\xc3\xa9\""}, // a last character of two bytes
        {"\xef\xbf\xbf\xef\xa4\x80", "\"\xef\xbf\xbf\xef\xa4\x80\""},  // led by 0xEF
        {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},                  // four bytes, at the end
        {"\xed\xa0\x80", "\"" + fffd + fffd + fffd + "\""},            // U+D800, a surrogate
        {"\xe0\x80\x80", "\"" + fffd + fffd + fffd + "\""},            // overlong
        {"\xf4\x90\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""}, // past U+10FFFF
        {"x\xc3", "\"x" + fffd + "\""},                                // a lead at the end
        {"\xff", "\"" + fffd + "\""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vox::info::json_string(row.bytes), row.json) << row.json;
    }
}
