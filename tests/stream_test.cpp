// Payloads through every way of copying (within one file system, across file systems, from and
// into pipes, from procfs, block by block), each with the calls it may make, and whole runs on
// inputs too large to hold: past 4 GiB, and with memory that must not grow with the input.
#include "e2e_support.hpp"
#include "payload.hpp"
#include "read_counter.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using vox::copy_status;
using vox::test::read_file;
using vox::test::scratch_dir;
using vox::test::write_file;

// `size` bytes of a pattern that differs from block to block.
std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 4099) & 0xff);
    }
    return bytes;
}

// Everything that arrives at the reading end of a pipe, gathered by a thread of its own; with a
// pause, slowly: 4 KiB at a time and a pause after each.
class drain {
  public:
    explicit drain(int fd, std::chrono::microseconds pause = {})
        : thread_([this, fd, pause] {
              char buffer[65536];
              const std::size_t size = pause.count() > 0 ? 4096 : sizeof buffer;
              for (ssize_t n; (n = ::read(fd, buffer, size)) > 0;) {
                  bytes_.append(buffer, static_cast<std::size_t>(n));
                  std::this_thread::sleep_for(pause);
              }
              ::close(fd);
          }) {}
    std::string take() {
        thread_.join();
        return bytes_;
    }

  private:
    std::string bytes_;
    std::thread thread_;
};

// A process that is there only to be read: it sleeps with the environment it was given, and its
// /proc/PID/environ holds those strings, each ended by a null byte. procfs offers the kernel no
// way to copy that file, so it goes through the block copy.
class environ_holder {
  public:
    explicit environ_holder(const std::vector<std::string>& environment) {
        std::vector<char*> envp;
        for (const std::string& variable : environment) {
            envp.push_back(const_cast<char*>(variable.c_str()));
            bytes_ += variable + '\0';
        }
        envp.push_back(nullptr);
        char sleep[] = "sleep";
        char seconds[] = "60";
        char* const argv[] = {sleep, seconds, nullptr};
        // The end of the pipe that the child holds closes when it has executed sleep.
        int exec_done[2];
        if (::pipe2(exec_done, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execve("/bin/sleep", argv, envp.data());
            ::_exit(127);
        }
        ::close(exec_done[1]);
        char ignored;
        while (::read(exec_done[0], &ignored, 1) < 0 && errno == EINTR) {
        }
        ::close(exec_done[0]);
    }
    ~environ_holder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    environ_holder(const environ_holder&) = delete;
    environ_holder& operator=(const environ_holder&) = delete;

    std::string path() const { return "/proc/" + std::to_string(pid_) + "/environ"; }
    const std::string& bytes() const { return bytes_; }

  private:
    pid_t pid_ = -1;
    std::string bytes_;
};

// About 300 KB of environment in variables of 100000 bytes (each may hold at most 128 KiB): the
// block copy takes three 128 KiB blocks and the rest.
std::vector<std::string> large_environment() {
    std::vector<std::string> environment;
    for (const char name : {'A', 'B', 'C'}) {
        std::string value = pattern(100000);
        for (char& c : value) {
            c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
        }
        environment.push_back(std::string("VOX_") + name + '=' + value);
    }
    return environment;
}

// Sends SIGUSR1, whose handler does nothing and restarts nothing, to the thread that made it, every
// 50 microseconds until it goes out of scope: a write into a pipe that waits for its reader then
// returns early, with part of its bytes written or none.
class signal_storm {
  public:
    signal_storm() : target_(::pthread_self()) {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        ::sigaction(SIGUSR1, &action, &previous_);
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                ::pthread_kill(target_, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
    }
    ~signal_storm() {
        stop_ = true;
        thread_.join();
        ::sigaction(SIGUSR1, &previous_, nullptr);
    }
    signal_storm(const signal_storm&) = delete;
    signal_storm& operator=(const signal_storm&) = delete;

  private:
    pthread_t target_;
    struct sigaction previous_ {};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

enum class source {
    same_fs_file,   // 64 MiB
    other_fs_file,  // 64 MiB, on /dev/shm
    pipe,           // 64 MiB, fed by a thread as the copy goes
    filled_pipe,    // 1 MiB in a pipe of 1 MiB, its writer closed 50 ms after the copy starts
    small_pipe,     // 4 KiB in a pipe of the default size, its writer closed
    procfs,         // this process's mountinfo
    process_environ // a process's environment of about 300 KB
};
enum class sink { file, pipe, interrupted_pipe };

constexpr long any = LONG_MAX;
constexpr int grown_pipe = 1 << 20;

struct copy_case {
    const char* name;
    source from;
    sink to;
    vox::test::call_counts most; // the most calls of each kind that the copy may make on `in`
    int pipe_size_after = 0;     // what F_GETPIPE_SZ gives on a pipe as `in` afterwards
};

void PrintTo(const copy_case& c, std::ostream* os) {
    *os << c.name;
}

class copy_route : public testing::TestWithParam<copy_case> {};

TEST_P(copy_route, keeps_the_bytes_in_order_around_the_header) {
    signal(SIGPIPE, SIG_IGN);
    const copy_case& c = GetParam();
    const scratch_dir dir;
    std::string payload;
    std::FILE* in = nullptr;
    std::thread feeder;
    std::optional<scratch_dir> shm;
    std::optional<environ_holder> holder;
    switch (c.from) {
    case source::same_fs_file:
        payload = pattern(std::size_t{64} << 20);
        write_file(dir.path() + "/in", payload);
        in = std::fopen((dir.path() + "/in").c_str(), "rb");
        break;
    case source::other_fs_file:
        if (!std::filesystem::is_directory("/dev/shm")) {
            GTEST_SKIP() << "no /dev/shm here";
        }
        ::setenv("TMPDIR", "/dev/shm", 1);
        shm.emplace();
        ::unsetenv("TMPDIR");
        payload = pattern(std::size_t{64} << 20);
        write_file(shm->path() + "/in", payload);
        in = std::fopen((shm->path() + "/in").c_str(), "rb");
        break;
    case source::pipe: {
        payload = pattern(std::size_t{64} << 20);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        in = ::fdopen(fds[0], "rb");
        feeder = std::thread([fd = fds[1], &payload] {
            ::write(fd, payload.data(), payload.size());
            ::close(fd);
        });
        break;
    }
    case source::filled_pipe:
    case source::small_pipe: {
        payload = pattern(c.from == source::filled_pipe ? grown_pipe : 4096);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        if (c.from == source::filled_pipe) {
            ASSERT_EQ(::fcntl(fds[0], F_SETPIPE_SZ, grown_pipe), grown_pipe);
        }
        ASSERT_EQ(::write(fds[1], payload.data(), payload.size()),
                  static_cast<ssize_t>(payload.size()));
        in = ::fdopen(fds[0], "rb");
        if (c.from == source::small_pipe) {
            ::close(fds[1]);
        } else {
            // Still open when the pipe runs empty: a splice that does not wait for more fails.
            feeder = std::thread([fd = fds[1]] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                ::close(fd);
            });
        }
        break;
    }
    case source::procfs:
        payload = read_file("/proc/self/mountinfo"); // not the same for two processes: ours
        in = std::fopen("/proc/self/mountinfo", "r");
        break;
    case source::process_environ:
        holder.emplace(large_environment());
        payload = holder->bytes();
        in = std::fopen(holder->path().c_str(), "r");
        break;
    }
    ASSERT_NE(in, nullptr);

    std::FILE* out = nullptr;
    std::optional<drain> reader;
    const std::string out_path = dir.path() + "/out";
    if (c.to == sink::file) {
        out = std::fopen(out_path.c_str(), "w");
    } else {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        out = ::fdopen(fds[1], "w");
        reader.emplace(fds[0], std::chrono::microseconds(c.to == sink::pipe ? 0 : 100));
    }
    ASSERT_NE(out, nullptr);

    std::fputs("HEADER\n", out);
    vox::test::watch_calls(fileno(in));
    {
        std::optional<signal_storm> storm;
        if (c.to == sink::interrupted_pipe) {
            storm.emplace();
        }
        EXPECT_EQ(vox::copy_payload(in, out), copy_status::complete);
    }
    const vox::test::call_counts calls = vox::test::watched_calls();
    vox::test::watch_calls(-1);
    EXPECT_LE(calls.read, c.most.read) << "read() calls";
    EXPECT_LE(calls.copy_file_range, c.most.copy_file_range) << "copy_file_range() calls";
    EXPECT_LE(calls.sendfile, c.most.sendfile) << "sendfile() calls";
    EXPECT_LE(calls.splice, c.most.splice) << "splice() calls";
    if (c.pipe_size_after != 0) {
        EXPECT_EQ(::fcntl(fileno(in), F_GETPIPE_SZ), c.pipe_size_after);
    }
    std::fputs("TRAILER\n", out);
    const std::string expected = "HEADER\n" + payload + "TRAILER\n";
    if (c.to == sink::file) {
        EXPECT_EQ(std::ftell(out), static_cast<long>(expected.size()));
    }
    EXPECT_EQ(std::fclose(out), 0);
    std::fclose(in);
    if (feeder.joinable()) {
        feeder.join();
    }
    const std::string got = c.to == sink::file ? read_file(out_path) : reader->take();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "the bytes differ";
}

// Each row bounds the calls of every kind: a route that is refused is tried once, a kernel copy
// moves all it can in one call, and the block copy reads 128 KiB at a time.
const copy_case routes[] = {
    {"file_to_file", source::same_fs_file, sink::file, {0, 4, 0, 0}},
    {"file_to_pipe", source::same_fs_file, sink::pipe, {0, 1, any, 0}},
    {"other_file_system_to_file", source::other_fs_file, sink::file, {0, 1, 4, 0}},
    {"pipe_to_file", source::pipe, sink::file, {0, 1, 1, any}, grown_pipe},
    {"pipe_to_pipe", source::pipe, sink::pipe, {0, 1, 1, any}, grown_pipe},
    {"filled_pipe_to_file", source::filled_pipe, sink::file, {0, 1, 1, 2}, grown_pipe},
    {"filled_pipe_to_interrupted_pipe",
     source::filled_pipe,
     sink::interrupted_pipe,
     {0, 1, 1, any},
     grown_pipe},
    {"small_pipe_to_file_grows_the_pipe", source::small_pipe, sink::file, {0, 1, 1, 2}, grown_pipe},
    {"procfs_to_file", source::procfs, sink::file, {any, 1, any, 1}},
    {"procfs_to_pipe", source::procfs, sink::pipe, {any, 1, any, 1}},
    {"environ_in_blocks_to_file", source::process_environ, sink::file, {6, 1, 1, 1}},
    {"environ_in_blocks_to_pipe", source::process_environ, sink::pipe, {6, 1, 1, 1}},
    {"environ_in_blocks_to_interrupted_pipe",
     source::process_environ,
     sink::interrupted_pipe,
     {6, 1, 1, 1}},
};

INSTANTIATE_TEST_SUITE_P(table, copy_route, testing::ValuesIn(routes),
                         [](const auto& row) { return std::string(row.param.name); });

// A named pipe at `path` that a thread fills with `size` bytes, `chunk` over and over (zero bytes
// by default; `chunk` must outlive the feed), once the program opens it; it gives up quietly when
// the program stops reading.
class fifo_feed {
  public:
    fifo_feed(const std::string& path, std::size_t size, std::string_view chunk = zeros()) {
        ::mkfifo(path.c_str(), 0600);
        thread_ = std::thread([this, path, size, chunk] {
            const int fd = ::open(path.c_str(), O_WRONLY);
            for (std::size_t left = size; left > 0;) {
                const ssize_t n = ::write(fd, chunk.data(), std::min(left, chunk.size()));
                if (n <= 0) {
                    break;
                }
                left -= static_cast<std::size_t>(n);
                accepted_ += static_cast<std::size_t>(n);
            }
            ::close(fd);
        });
    }
    std::size_t accepted() {
        thread_.join();
        return accepted_;
    }

  private:
    // One block for every feed: the memory test forks this process, whose size must not change.
    static std::string_view zeros() {
        static const std::string block(std::size_t{1} << 20, '\0');
        return block;
    }
    std::thread thread_;
    std::size_t accepted_ = 0;
};

const std::string uniform_header = "# vtk DataFile Version 2.0\nOutput from voxeven\nBINARY\n"
                                   "DIMENSIONS  1 1 1\nSPACING  1.000000 1.000000 1.000000\n"
                                   "ORIGIN  0.000000 0.000000 0.000000\nPOINT_DATA  1\n"
                                   "SCALARS scalars  unsigned_char\nLOOKUP_TABLE default\n";

std::vector<std::string> uniform_args(const std::string& in, const std::string& out) {
    return {"voxeven",       in,      out, "1", "1", "1", "1", "1", "1", "0", "0", "0",
            "unsigned_char", "BINARY"};
}

TEST(whole_run, streams_a_sample_past_4_gib_into_a_pipe) {
    signal(SIGPIPE, SIG_IGN);
    const scratch_dir dir;
    const std::string sample = dir.path() + "/big.raw";
    const off_t size = (off_t{1} << 32) + 3; // sparse: no disk used but the last block
    {
        const int fd = ::open(sample.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "END", 3, size - 3), 3);
        ::close(fd);
    }
    const std::string fifo = dir.path() + "/out.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::uint64_t count = 0;
    std::string last;
    std::thread counter([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        ::fcntl(fd, F_SETPIPE_SZ, 1 << 20); // fewer turns between writer and reader
        static char buffer[1 << 20];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            count += static_cast<std::uint64_t>(n);
            last.append(buffer + (n > 3 ? n - 3 : 0), buffer + n);
            last.erase(0, last.size() > 3 ? last.size() - 3 : 0);
        }
        ::close(fd);
    });
    const auto got =
        vox::test::run_program(VOXEVEN, uniform_args("big.raw", "out.fifo"), dir.path());
    counter.join();
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(count, uniform_header.size() + static_cast<std::uint64_t>(size));
    EXPECT_EQ(last, "END");
}

// Whole runs whose samples go through the block copy: files of a process under /proc, which the
// kernel cannot copy by itself; the environment of about 300 KB passes in several blocks.
struct block_case {
    const char* name;
    const char* infile;
};

void PrintTo(const block_case& c, std::ostream* os) {
    *os << c.name;
}

class block_copy : public testing::TestWithParam<block_case> {};

TEST_P(block_copy, appends_every_block_once) {
    const scratch_dir dir;
    const std::vector<std::string> args = uniform_args(GetParam().infile, "out.vtk");
    std::vector<std::string> environment = large_environment();
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.emplace_back(*variable); // sanitizer settings among them
    }
    const auto got = vox::test::run_program(
        VOXEVEN, args, dir.path(),
        {.file_size_limit = 64 << 20, .time_limit = 30, .environment = environment});
    // The program's own cmdline and environ: each string ended by a null byte.
    std::string samples;
    for (const std::string& text :
         std::string_view(GetParam().infile).ends_with("environ") ? environment : args) {
        samples += text + '\0';
    }
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    const std::string out = read_file(dir.path() + "/out.vtk");
    EXPECT_EQ(out.size(), uniform_header.size() + samples.size());
    EXPECT_TRUE(out == uniform_header + samples) << "not the header and the samples";
}

const block_case blocks[] = {
    {"command_line", "/proc/self/cmdline"},
    {"environment_of_300_kb", "/proc/self/environ"},
};

INSTANTIATE_TEST_SUITE_P(table, block_copy, testing::ValuesIn(blocks),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(whole_run, memory_does_not_grow_with_the_sample) {
    signal(SIGPIPE, SIG_IGN);
    const auto peak = [](std::size_t size) {
        const scratch_dir dir;
        fifo_feed feed(dir.path() + "/in.fifo", size);
        const auto got =
            vox::test::run_program(VOXEVEN, uniform_args("in.fifo", "/dev/null"), dir.path());
        EXPECT_EQ(got.status, 0) << got.err;
        EXPECT_EQ(feed.accepted(), size);
        return got.max_rss_kib;
    };
    const long small = peak(std::size_t{1} << 20);
    const long large = peak(std::size_t{1} << 30);
    EXPECT_LE(large - small, 1024)
        << "peak resident KiB: " << small << " for 1 MiB, " << large << " for 1 GiB";
}

TEST(whole_run, stops_reading_at_the_first_failed_write) {
    signal(SIGPIPE, SIG_IGN);
    const scratch_dir dir;
    fifo_feed feed(dir.path() + "/in.fifo", std::size_t{64} << 20);
    const auto got =
        vox::test::run_program(VOXEVEN, uniform_args("in.fifo", "/dev/full"), dir.path());
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.err, "Error writing /dev/full\n");
    EXPECT_LT(feed.accepted(), std::size_t{1} << 20) << "read on after the write failed";
}

// A write that fails in the middle of the samples: the file-size limit stops the output 1000
// bytes into them, whichever way they are copied.
struct cut_case {
    const char* name;
    bool through_pipe;
};

void PrintTo(const cut_case& c, std::ostream* os) {
    *os << c.name;
}

class failed_write : public testing::TestWithParam<cut_case> {};

TEST_P(failed_write, stops_there_and_says_so) {
    signal(SIGPIPE, SIG_IGN);
    const scratch_dir dir;
    const std::string samples = pattern(std::size_t{1} << 20);
    std::optional<fifo_feed> feed;
    if (GetParam().through_pipe) {
        feed.emplace(dir.path() + "/in.raw", samples.size(), samples);
    } else {
        write_file(dir.path() + "/in.raw", samples);
    }
    const auto got = vox::test::run_program(VOXEVEN, uniform_args("in.raw", "out.vtk"), dir.path(),
                                            {.file_size_limit = uniform_header.size() + 1000});
    if (feed) {
        feed->accepted();
    }
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.err, "Error writing out.vtk\n");
    EXPECT_TRUE(read_file(dir.path() + "/out.vtk") == uniform_header + samples.substr(0, 1000))
        << "the output is not the header and the first 1000 sample bytes";
}

const cut_case cuts[] = {{"regular_file", false}, {"pipe", true}};

INSTANTIATE_TEST_SUITE_P(table, failed_write, testing::ValuesIn(cuts),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
