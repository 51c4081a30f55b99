#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vox::test {

scratch_dir::scratch_dir() {
    std::string pattern = (fs::temp_directory_path() / "vox-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    path_ = pattern;
}

scratch_dir::~scratch_dir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) {
        result.push_back(word);
    }
    return result;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

outcome run_program(const std::string& program, const std::vector<std::string>& argv,
                    const std::string& dir, const run_options& options) {
    const scratch_dir capture;
    const std::string out_path = capture.path() + "/stdout";
    const std::string err_path = capture.path() + "/stderr";
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> environment;
    if (options.environment) {
        for (const std::string& variable : *options.environment) {
            environment.push_back(const_cast<char*>(variable.c_str()));
        }
    }
    environment.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::signal(SIGPIPE, SIG_DFL);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        ::close_range(3, ~0U, 0); // the program's own files take 3, 4, ... as they would
        for (const int fd : options.closed) {
            ::close(fd);
        }
        if (options.time_limit > 0) {
            ::alarm(options.time_limit); // kept across execv
        }
        if (options.file_size_limit) {
            const struct rlimit limit { *options.file_size_limit, *options.file_size_limit };
            std::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execve(program.c_str(), args.data(), options.environment ? environment.data() : environ);
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, read_file(out_path), read_file(err_path), usage.ru_maxrss};
}

void check_case(const std::string& program, const std::string& default_argv0, const e2e_case& c) {
    const scratch_dir dir;
    const std::string root = dir.path() + "/";
    for (const auto& [name, content] : c.files) {
        if (name.ends_with('/')) {
            fs::create_directory(root + name);
        } else {
            write_file(root + name, content);
        }
    }
    for (const link& l : c.links) {
        if (l.hard) {
            fs::create_hard_link(root + l.target, root + l.name);
        } else {
            fs::create_symlink(l.target, root + l.name);
        }
    }

    std::signal(SIGPIPE, SIG_IGN); // a feed whose reader went away
    std::vector<int> readers;
    std::vector<std::thread> writers;
    for (const fifo& f : c.fifos) {
        ASSERT_EQ(::mkfifo((root + f.name).c_str(), 0600), 0) << f.name;
    }
    for (const fifo& f : c.fifos) {
        const std::string path = root + f.name;
        if (f.feed) {
            writers.emplace_back([path, &feed = *f.feed] {
                const int fd = ::open(path.c_str(), O_WRONLY);
                ::write(fd, feed.data(), feed.size());
                ::close(fd);
            });
        } else if (!f.unread) {
            // Opening without waiting: the program then finds a reader when it opens to write.
            readers.push_back(::open(path.c_str(), O_RDONLY | O_NONBLOCK));
        }
    }

    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), c.argv0.value_or(default_argv0));
    const outcome got =
        run_program(program, argv, dir.path(),
                    {.closed = c.closed, .file_size_limit = 64 << 20, .time_limit = 10});

    // A writer whose pipe the program never opened still waits for a reader: this one lets it go.
    auto writer = writers.begin();
    auto reader = readers.begin();
    for (const fifo& f : c.fifos) {
        if (f.feed) {
            const int release = ::open((root + f.name).c_str(), O_RDONLY | O_NONBLOCK);
            (writer++)->join();
            ::close(release);
            continue;
        }
        if (f.unread) {
            continue;
        }
        std::string arrived;
        char buffer[4096];
        for (ssize_t n; (n = ::read(*reader, buffer, sizeof buffer)) > 0;) {
            arrived.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(*reader++);
        EXPECT_EQ(arrived, f.arrives) << "through " << f.name;
    }

    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.out, "") << "standard output is never written";
    const std::string out_file = root + "out.vtk";
    if (c.out) {
        ASSERT_TRUE(fs::exists(fs::symlink_status(out_file))) << "out.vtk was not written";
        EXPECT_EQ(read_file(out_file), *c.out);
    } else {
        EXPECT_FALSE(fs::exists(fs::symlink_status(out_file))) << "out.vtk should not exist";
    }
    for (const auto& [name, content] : c.files) {
        if (name != "out.vtk" && !name.ends_with('/')) {
            EXPECT_EQ(read_file(root + name), content) << name << " changed";
        }
    }
}

void PrintTo(const e2e_case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

std::string case_name(const testing::TestParamInfo<e2e_case>& row) {
    std::string result;
    for (const char ch : row.param.name) {
        result += std::isalnum(static_cast<unsigned char>(ch)) != 0 ? ch : '_';
    }
    return result;
}

} // namespace vox::test
