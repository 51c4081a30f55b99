// A box and a sample rate read by their rows alone, the file's pages handed over, progress and
// stopping, and threads that cannot start or fail: the volume under the VTK reader, without VTK.
#include "threads.hpp"
#include "volume.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <system_error>
#include <vector>

namespace {

using vox::view::byte_order;
using vox::view::extent;
using vox::view::rates;
using vox::view::sampling;

const std::string folder = [] {
    char name[] = "/tmp/vox_sampling_XXXXXX";
    return std::string(::mkdtemp(name));
}();

// A grid of nx x ny x nz points of `components` values of `type`, value n being n * 7 + 1 (its
// low bytes), written in `encoding` (BINARY big-endian or little-endian, ASCII).
struct grid {
    const char* type;
    unsigned size, components;
    int nx, ny, nz;
};

enum class coding { big, little, text };

std::uint64_t value_of(std::uint64_t n) {
    return n * 7 + 1;
}

std::string write_grid(const std::string& name, const grid& g, coding how,
                       const std::string& title = "t") {
    const std::uint64_t values = static_cast<std::uint64_t>(g.nx) *
                                 static_cast<std::uint64_t>(g.ny) *
                                 static_cast<std::uint64_t>(g.nz) * g.components;
    std::string file = "# vtk DataFile Version 2.0\n" + title + "\n" +
                       (how == coding::text ? "ASCII" : "BINARY") + "\nDIMENSIONS  " +
                       std::to_string(g.nx) + " " + std::to_string(g.ny) + " " +
                       std::to_string(g.nz) + "\nSPACING  0.5 2 3\nORIGIN  1 -1 10\nPOINT_DATA  " +
                       std::to_string(g.nx * g.ny * g.nz) + "\nSCALARS v " + g.type + " " +
                       std::to_string(g.components) + "\nLOOKUP_TABLE default\n";
    for (std::uint64_t n = 0; n < values; ++n) {
        const std::uint64_t v = value_of(n);
        if (how == coding::text) {
            file += std::to_string(v % (std::uint64_t{1} << (8 * g.size - 1))) + "\n";
            continue;
        }
        for (unsigned b = 0; b < g.size; ++b) {
            const unsigned shift = 8 * (how == coding::little ? b : g.size - 1 - b);
            file += static_cast<char>(shift < 64 ? (v >> shift) & 0xff : 0);
        }
    }
    const std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << file;
    return path;
}

// The values of `s`, x fastest, as the host holds them, worked out one by one.
std::string expected(const grid& g, const sampling& s, coding how) {
    std::string out;
    for (int k = s.box[4]; k <= s.box[5]; k += s.rate[2]) {
        for (int j = s.box[2]; j <= s.box[3]; j += s.rate[1]) {
            for (int i = s.box[0]; i <= s.box[1]; i += s.rate[0]) {
                for (unsigned c = 0; c < g.components; ++c) {
                    const auto n =
                        (static_cast<std::uint64_t>(i) +
                         static_cast<std::uint64_t>(g.nx) *
                             (static_cast<std::uint64_t>(j) +
                              static_cast<std::uint64_t>(g.ny) * static_cast<std::uint64_t>(k))) *
                            g.components +
                        c;
                    std::uint64_t v = value_of(n);
                    if (how == coding::text) {
                        v %= std::uint64_t{1} << (8 * g.size - 1);
                    }
                    char bytes[8];
                    std::memcpy(bytes, &v, 8); // the low bytes first on a little-endian host
                    out.append(bytes, g.size);
                }
            }
        }
    }
    return out;
}

vox::view::volume opened(const std::string& path, coding how) {
    vox::view::volume v;
    EXPECT_EQ(
        vox::view::open(
            path, how == coding::little ? byte_order::little_endian : byte_order::big_endian, v),
        "");
    return v;
}

// A box and a rate read every value they hold and no other, from the bytes of their rows:
// rates on each axis alone and together, boxes at the edges and of one sample, with a box, in
// each coding, values of several components, on one thread and on three.
TEST(volume_sampling, reads_the_rows_of_a_box_at_a_rate) {
    if constexpr (std::endian::native != std::endian::little) {
        GTEST_SKIP() << "the expected bytes are those of a little-endian host";
    }
    const grid grids[] = {{"unsigned_short", 2, 1, 9, 7, 5},
                          {"int", 4, 1, 9, 7, 5},
                          {"unsigned_char", 1, 3, 9, 7, 5},
                          {"long", 8, 1, 300, 40, 5}};
    const struct {
        const char* name;
        sampling s; // the box of the 9 x 7 x 5 grid; wider grids keep it
    } rows[] = {
        {"whole", {{0, 8, 0, 6, 0, 4}, {1, 1, 1}}},
        {"rate x", {{0, 8, 0, 6, 0, 4}, {2, 1, 1}}},
        {"rate y", {{0, 8, 0, 6, 0, 4}, {1, 3, 1}}},
        {"rate z", {{0, 8, 0, 6, 0, 4}, {1, 1, 4}}},
        {"rates together", {{0, 8, 0, 6, 0, 4}, {4, 4, 4}}},
        {"rate past the grid", {{0, 8, 0, 6, 0, 4}, {20, 9, 9}}},
        {"box at the low edges", {{0, 2, 0, 1, 0, 0}, {1, 1, 1}}},
        {"box at the high edges", {{6, 8, 5, 6, 3, 4}, {1, 1, 1}}},
        {"one sample", {{8, 8, 6, 6, 4, 4}, {1, 1, 1}}},
        {"one sample at a rate", {{3, 3, 2, 2, 1, 1}, {3, 3, 3}}},
        {"box and rate", {{1, 7, 1, 6, 1, 4}, {3, 2, 2}}},
        {"a column at a rate", {{4, 4, 0, 6, 0, 4}, {1, 2, 3}}},
    };
    for (const grid& g : grids) {
        for (const coding how : {coding::big, coding::little, coding::text}) {
            const std::string path = write_grid("rate.vtk", g, how);
            const vox::view::volume v = opened(path, how);
            for (const auto& row : rows) {
                for (const unsigned threads : {1U, 3U}) {
                    SCOPED_TRACE(std::string(g.type) + " " + std::to_string(int(how)) + " " +
                                 row.name + ", " + std::to_string(threads) + " threads");
                    const std::string want = expected(g, row.s, how);
                    std::string got(want.size(), '\x55');
                    std::uint64_t read = 0;
                    ASSERT_EQ(vox::view::read_samples(v, row.s, got.data(), read,
                                                      {.threads = threads, .least_per_thread = 1}),
                              "");
                    EXPECT_TRUE(got == want);
                    if (how != coding::text) {
                        // Each row that holds samples, from its first sample to its last.
                        const std::uint64_t rows_read = static_cast<std::uint64_t>(row.s.count(1)) *
                                                        static_cast<std::uint64_t>(row.s.count(2));
                        const auto span =
                            static_cast<std::uint64_t>((row.s.count(0) - 1) * row.s.rate[0] + 1);
                        EXPECT_EQ(read, rows_read * span * g.size * g.components);
                    }
                }
            }
        }
    }
}

// Bits at a rate: each point's bit, the first in the highest bit of its byte.
TEST(volume_sampling, reads_bits_at_a_rate) {
    std::string file = "# vtk DataFile Version 2.0\nt\nBINARY\nDIMENSIONS  5 3 2\nSPACING  1 1 1\n"
                       "ORIGIN  0 0 0\nPOINT_DATA  30\nSCALARS b bit\nLOOKUP_TABLE default\n";
    std::string bytes(4, '\0');
    for (unsigned n = 0; n < 30; ++n) {
        if (n % 3 == 0 || n % 7 == 1) {
            bytes[n / 8] = static_cast<char>(bytes[n / 8] | (0x80 >> (n % 8)));
        }
    }
    const std::string path = folder + "/bits.vtk";
    std::ofstream(path, std::ios::binary) << file + bytes;
    const vox::view::volume v = opened(path, coding::big);
    for (const sampling s :
         {sampling{{0, 4, 0, 2, 0, 1}, {2, 2, 1}}, sampling{{1, 4, 1, 2, 0, 1}, {3, 1, 2}}}) {
        std::string want;
        for (int k = s.box[4]; k <= s.box[5]; k += s.rate[2]) {
            for (int j = s.box[2]; j <= s.box[3]; j += s.rate[1]) {
                for (int i = s.box[0]; i <= s.box[1]; i += s.rate[0]) {
                    const int n = i + 5 * (j + 3 * k);
                    want += static_cast<char>(n % 3 == 0 || n % 7 == 1 ? 1 : 0);
                }
            }
        }
        std::string got(want.size(), '\x55');
        std::uint64_t read = 0;
        ASSERT_EQ(vox::view::read_samples(v, s, got.data(), read), "");
        EXPECT_EQ(got, want);
    }
}

// The grid that a box and a rate select: the box clamped to the grid, the output's extent from
// box / rate, every output point where its input point lies; an empty box or a rate below 1 is
// refused with the reason.
TEST(volume_sampling, selects_a_box_at_a_rate) {
    const std::string path = write_grid("select.vtk", {"short", 2, 1, 9, 7, 5}, coding::big);
    const vox::view::volume v = opened(path, coding::big);
    const int most = std::numeric_limits<int>::max();
    const struct {
        extent voi;
        rates rate;
        std::string why; // empty: selected
        extent box, whole;
    } rows[] = {
        {{0, most, 0, most, 0, most}, {1, 1, 1}, "", {0, 8, 0, 6, 0, 4}, {0, 8, 0, 6, 0, 4}},
        {{0, most, 0, most, 0, most}, {4, 4, 4}, "", {0, 8, 0, 6, 0, 4}, {0, 2, 0, 1, 0, 1}},
        {{-5, 3, 2, 90, 4, 4}, {1, 1, 1}, "", {0, 3, 2, 6, 4, 4}, {0, 3, 2, 6, 4, 4}},
        {{5, 8, 3, 6, 1, 4}, {2, 3, 2}, "", {5, 8, 3, 6, 1, 4}, {2, 3, 1, 2, 0, 1}},
        {{3, 2, 0, 6, 0, 4}, {1, 1, 1}, "VOI 3 0 0 to 2 6 4 holds no sample of the grid", {}, {}},
        {{0, 8, 7, 9, 0, 4}, {1, 1, 1}, "VOI 0 7 0 to 8 9 4 holds no sample", {}, {}},
        {{0, 8, 0, 6, 0, 4}, {1, 0, 1}, "SampleRate 1 0 1: each must be 1 or more", {}, {}},
    };
    for (const auto& row : rows) {
        vox::view::selection s;
        const std::string why = vox::view::select(v, row.voi, row.rate, s);
        if (!row.why.empty()) {
            EXPECT_NE(why.find(row.why), std::string::npos) << why;
            continue;
        }
        ASSERT_EQ(why, "");
        EXPECT_EQ(s.input.box, row.box);
        EXPECT_EQ(s.whole, row.whole);
        // Each output point where its input point is, and the part of a piece read from its
        // input rows.
        const auto spacing = s.spacing(v), origin = s.origin(v);
        for (std::size_t a = 0; a < 3; ++a) {
            for (int n = s.whole[2 * a]; n <= s.whole[2 * a + 1]; ++n) {
                EXPECT_DOUBLE_EQ(origin[a] + n * spacing[a],
                                 v.model.origin[a] + s.index(a, n) * v.model.spacing[a]);
            }
        }
        const sampling last =
            s.of({s.whole[1], s.whole[1], s.whole[3], s.whole[3], s.whole[5], s.whole[5]});
        EXPECT_EQ(last.box[1], row.box[0] + (s.input.count(0) - 1) * row.rate[0]);
        EXPECT_EQ(last.points(), 1U);
    }
}

// The file's own pages where the values can be handed over as they are, equal to those read;
// none where they need swapping, a rate or several runs of bytes, or are text or misaligned.
TEST(volume_sampling, maps_the_pages_where_it_can) {
    if constexpr (std::endian::native != std::endian::little) {
        GTEST_SKIP() << "the mapped orders are those of a little-endian host";
    }
    const grid g{"unsigned_short", 2, 1, 9, 7, 5};
    const extent all{0, 8, 0, 6, 0, 4};
    const struct {
        const char* name;
        const char* type;
        coding how;
        std::string title; // "tt": the samples at an even offset, "t": an odd one
        sampling s;
        bool mapped;
    } rows[] = {
        {"little, whole", "unsigned_short", coding::little, "tt", {all}, true},
        {"little, slices", "unsigned_short", coding::little, "tt", {{0, 8, 0, 6, 2, 3}}, true},
        {"little, rows of one slice",
         "unsigned_short",
         coding::little,
         "tt",
         {{0, 8, 2, 5, 1, 1}},
         true},
        {"little, part of one row",
         "unsigned_short",
         coding::little,
         "tt",
         {{2, 5, 3, 3, 4, 4}},
         true},
        {"one byte, big-endian said", "unsigned_char", coding::big, "tt", {all}, true},
        {"big-endian", "unsigned_short", coding::big, "tt", {all}, false},
        {"a rate", "unsigned_short", coding::little, "tt", {all, {1, 2, 1}}, false},
        {"rows of two slices", "unsigned_short", coding::little, "tt", {{0, 8, 2, 5, 1, 2}}, false},
        {"part rows", "unsigned_short", coding::little, "tt", {{1, 8, 0, 6, 0, 4}}, false},
        {"misaligned", "unsigned_short", coding::little, "t", {all}, false},
        {"text", "unsigned_short", coding::text, "tt", {all}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        grid kind = g;
        kind.type = row.type;
        kind.size = std::string(row.type) == "unsigned_char" ? 1 : 2;
        const std::string path = write_grid("map.vtk", kind, row.how, row.title);
        const vox::view::volume v = opened(path, row.how);
        char* mapped = vox::view::map_samples(v, row.s);
        EXPECT_EQ(mapped != nullptr, row.mapped);
        if (mapped != nullptr) {
            const std::string want = expected(kind, row.s, row.how);
            EXPECT_EQ(std::string(mapped, want.size()), want);
            mapped[0] = 'x'; // a private mapping: the file keeps its bytes
            vox::view::unmap_samples(mapped);
            char* again = vox::view::map_samples(v, row.s);
            ASSERT_NE(again, nullptr);
            EXPECT_EQ(std::string(again, want.size()), want);
            vox::view::unmap_samples(again);
        }
    }
}

// The calling thread is told the share read as it grows, up to the whole; a `true` from it stops
// the read, which says so; an exception that it throws is reported, not thrown.
TEST(volume_sampling, tells_progress_and_stops) {
    const grid g{"unsigned_short", 2, 1, 1024, 64, 40}; // 5 MiB
    for (const coding how : {coding::big, coding::text}) {
        const std::string path = write_grid("progress.vtk", g, how);
        const vox::view::volume v = opened(path, how);
        const sampling all{v.whole()};
        std::string out(all.points() * 2, '\0');
        for (const unsigned threads : {1U, 2U}) {
            SCOPED_TRACE(std::to_string(threads) + (how == coding::text ? " text" : " binary"));
            std::vector<double> told;
            vox::view::reading how_read{.threads = threads, .least_per_thread = 1};
            how_read.progress = [&](double share) {
                told.push_back(share);
                return false;
            };
            std::uint64_t read = 0;
            ASSERT_EQ(vox::view::read_samples(v, all, out.data(), read, how_read), "");
            ASSERT_GE(told.size(), 2U);
            EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
            EXPECT_DOUBLE_EQ(told.back(), 1.0);

            unsigned calls = 0;
            how_read.progress = [&](double) { return ++calls == 2; };
            read = 0;
            EXPECT_EQ(vox::view::read_samples(v, all, out.data(), read, how_read),
                      vox::view::stopped);
            EXPECT_EQ(calls, 2U);
            EXPECT_EQ(read, 0U);

            how_read.progress = [](double) -> bool { throw std::runtime_error("told too much"); };
            EXPECT_NE(vox::view::read_samples(v, all, out.data(), read, how_read)
                          .find("samples: told too much"),
                      std::string::npos);
        }
    }
}

// Threads that cannot start leave their share to the calling thread: the read completes, alike.
TEST(volume_sampling, reads_on_the_calling_thread_where_no_thread_starts) {
    const grid g{"short", 2, 1, 300, 40, 9};
    for (const coding how : {coding::big, coding::text}) {
        const std::string path = write_grid("nothread.vtk", g, how);
        const vox::view::volume v = opened(path, how);
        const sampling s{{3, 299, 0, 39, 1, 8}, {1, 2, 1}};
        const std::string want = expected(g, s, how);
        for (const int starting : {0, 1}) { // threads that start before the others fail
            SCOPED_TRACE(std::to_string(starting) + " start");
            std::atomic<int> started = 0;
            vox::view::reading how_read{.threads = 4, .least_per_thread = 1};
            how_read.start = [&](std::function<void()> run) {
                if (started++ >= starting) {
                    throw std::system_error(
                        std::make_error_code(std::errc::resource_unavailable_try_again));
                }
                return std::thread(std::move(run));
            };
            std::string got(want.size(), '\0');
            std::uint64_t read = 0;
            ASSERT_EQ(vox::view::read_samples(v, s, got.data(), read, how_read), "");
            EXPECT_TRUE(got == want);
            EXPECT_EQ(started, 3);
        }
    }
}

// The mechanism itself: every share runs once, where threads start or not; an exception in a
// thread comes back to the caller after every thread is joined; `wait` runs while they work.
TEST(volume_sampling, runs_every_share_and_carries_exceptions_back) {
    const struct {
        const char* name;
        unsigned shares;
        int starting; // threads that start; the rest fail
        int throwing; // the share that throws, or -1
    } rows[] = {
        {"all start", 5, 4, -1},
        {"none starts", 5, 0, -1},
        {"two start", 5, 2, -1},
        {"one share", 1, 0, -1},
        {"a thread throws", 4, 3, 2},
        {"the caller's share throws", 4, 3, 0},
        {"a share left to the caller throws", 4, 1, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::mutex mutex;
        std::multiset<unsigned> ran;
        std::atomic<int> started = 0;
        std::atomic<bool> others_done = false;
        const auto work = [&](unsigned t) {
            if (static_cast<int>(t) == row.throwing) {
                throw std::runtime_error("share " + std::to_string(t));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(t == 0 ? 0 : 60));
            const std::lock_guard lock(mutex);
            ran.insert(t);
        };
        unsigned waits = 0;
        std::string caught;
        try {
            vox::view::on_threads(
                row.shares, work, [&] { ++waits; },
                [&](std::function<void()> run) {
                    if (started++ >= row.starting) {
                        throw std::system_error(
                            std::make_error_code(std::errc::resource_unavailable_try_again));
                    }
                    return std::thread(std::move(run));
                });
            others_done = true;
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        std::multiset<unsigned> want;
        for (unsigned t = 0; t < row.shares; ++t) {
            if (static_cast<int>(t) != row.throwing) {
                want.insert(t);
            }
        }
        EXPECT_EQ(ran, want); // every other share ran, once, before on_threads returned
        EXPECT_EQ(caught, row.throwing < 0 ? "" : "share " + std::to_string(row.throwing));
        if (row.shares > 1 && row.starting + 1 == static_cast<int>(row.shares) &&
            row.throwing < 0) {
            EXPECT_GT(waits, 0U);
        }
    }
}

} // namespace
