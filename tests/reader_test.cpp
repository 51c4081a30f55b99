// The reader on its own: whatever sizes the reads come in, a file gives the same report, so that
// nothing depends on where the buffer happens to end.
#include "inspect.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

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
        for (const std::size_t step : {1UL, 3UL, 13UL, 4097UL, 131071UL}) {
            trickle_source part(file.bytes, step);
            const auto got =
                vox::info::inspect(part, {.header_path = "", .follow_reference = false});
            EXPECT_EQ(got.text, expected.text) << file.name << ", reads of " << step << " bytes";
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

} // namespace
