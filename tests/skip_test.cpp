// Values that no sink wants are passed over: the model is the same as when every value is read, and
// a file on disk is not read past the header.
#include "parser.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using namespace vox::legacy;

// Takes every value, as voxinfo does: nothing is skipped.
class keep_all final : public value_provider {
  public:
    value_sink* values_of(const file_model&, const array_info& array) override {
        sinks_.push_back(std::make_unique<array_sink>(array.type, false));
        return sinks_.back().get();
    }

  private:
    std::vector<std::unique_ptr<array_sink>> sinks_;
};

// A file descriptor whose reads are counted; skips go to lseek, or are read when `seekable` is off.
class counted_fd final : public source {
  public:
    counted_fd(int fd, bool seekable) : fd_(fd), seekable_(seekable) {}
    long read(char* buffer, std::size_t size) override {
        const long got = fd_.read(buffer, size);
        read_ += got > 0 ? static_cast<std::uint64_t>(got) : 0;
        return got;
    }
    long long skip(std::uint64_t size) override {
        return seekable_ ? fd_.skip(size) : source::skip(size);
    }
    std::uint64_t bytes_read() const { return read_; }

  private:
    fd_source fd_;
    bool seekable_;
    std::uint64_t read_ = 0;
};

const std::string head = "# vtk DataFile Version 2.0\nOutput from voxeven\nBINARY\n"
                         "DIMENSIONS  200 200 200\nSPACING  1 1 1\nORIGIN  0 0 0\n"
                         "POINT_DATA  8000000\nSCALARS scalars  ";

const struct {
    const char* name;
    std::string type;
    std::uint64_t payload; // bytes of samples written
    std::string after;     // what follows them
    std::uint64_t bytes;   // the samples' bytes in the model
} rows[] = {
    {"exact", "unsigned_short", 16000000, "", 16000000},
    {"short", "unsigned_short", 15999999, "", 15999999},
    {"empty", "unsigned_short", 0, "", 0},
    {"line_feed_after", "unsigned_char", 8000000, "\n", 8000000},
    {"keyword_after", "unsigned_char", 8000000, "\nCELL_DATA 7880599\n", 8000000},
    {"more_values_after", "unsigned_char", 8000000, "12345", 8000005},
    {"bits", "bit", 1000000, "", 1000000},
    {"doubles_short_by_a_buffer", "double", 64000000 - 200000, "", 64000000 - 200000},
};

TEST(skip, passes_over_unwanted_values_with_the_same_model) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = head + row.type + "\nLOOKUP_TABLE default\n";
        std::string bytes = text + std::string(row.payload, '\x5a') + row.after;
        char path[] = "/tmp/vox_skip_XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

        memory_source whole(bytes);
        file_model read_all;
        keep_all sinks;
        const parse_result expected = parse(whole, read_all, &sinks);

        for (const bool seekable : {true, false}) {
            SCOPED_TRACE(seekable ? "lseek" : "read and dropped");
            ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
            counted_fd file(fd, seekable);
            file_model skipped;
            const parse_result got = parse(file, skipped, nullptr);
            EXPECT_EQ(got.failed, expected.failed);
            EXPECT_EQ(got.message, expected.message);
            ASSERT_EQ(skipped.arrays.size(), read_all.arrays.size());
            ASSERT_TRUE(skipped.samples);
            const array_info& samples = skipped.arrays[*skipped.samples];
            EXPECT_EQ(samples.offset, text.size());
            EXPECT_EQ(samples.bytes, row.bytes);
            EXPECT_EQ(samples.bytes, read_all.arrays[*read_all.samples].bytes);
            EXPECT_EQ(skipped.point_data, read_all.point_data);
            EXPECT_EQ(skipped.cell_data, read_all.cell_data);
            if (seekable) {
                // The header and at most a buffer of values beyond it, whatever the payload.
                EXPECT_LE(file.bytes_read(), text.size() + row.after.size() + input::buffer_size);
            } else {
                EXPECT_EQ(file.bytes_read(), bytes.size());
            }
        }
        ::close(fd);
        ::unlink(path);
    }
}

} // namespace
