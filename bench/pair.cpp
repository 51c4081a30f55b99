// Times two commands in alternation, without a shell between them and the clock: each run is a
// fork and exec, timed from the fork to the return of wait4, whose resource usage gives the peak
// resident memory.
//
// Usage: pair ROUNDS OUTFILE INPUT COMMAND_A... -- COMMAND_B...
//   ROUNDS   timed pairs, after one warm-up pair; the order within a pair alternates
//   OUTFILE  removed before every run, outside the timing, so that no run pays for truncating
//            what the last one wrote
//   INPUT    "-": standard input is /dev/null; else a file whose bytes a feeding process sends
//            through a pipe into the command's standard input
//   COMMAND  program and arguments; a first word ">PATH" sends standard output to PATH (created
//            or truncated by the child, inside the timing, as a shell would); else /dev/null
// Prints one line a pair: "NS_A KIB_A NS_B KIB_B", wall time in nanoseconds and peak memory.
//
// The kernel counts what a child held between fork and exec into its peak memory, and that is
// this process's own memory: so this program loads nothing but the C library either, and keeps
// to the stack.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct command {
    const char* out = "/dev/null";
    char** argv = nullptr; // ends with a null pointer
};

struct sample {
    std::int64_t nanoseconds;
    long peak_kib;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "pair: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

std::int64_t now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// A process that copies `path` into the writing end of a new pipe; the reading end is returned.
int start_feeder(const char* path, pid_t& feeder) {
    int fds[2];
    if (::pipe(fds) != 0) {
        fail("pipe");
    }
    feeder = ::fork();
    if (feeder < 0) {
        fail("fork");
    }
    if (feeder == 0) {
        ::close(fds[0]);
        const int in = ::open(path, O_RDONLY);
        if (in < 0) {
            ::_exit(1);
        }
        for (ssize_t n; (n = ::sendfile(fds[1], in, nullptr, 1 << 30)) != 0;) {
            if (n < 0 && errno != EINTR) {
                ::_exit(1);
            }
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    return fds[0];
}

sample run(const command& c, const char* outfile, const char* input) {
    if (::unlink(outfile) != 0 && errno != ENOENT) {
        fail(outfile);
    }
    pid_t feeder = -1;
    const int in =
        std::strcmp(input, "-") == 0 ? ::open("/dev/null", O_RDONLY) : start_feeder(input, feeder);
    if (in < 0) {
        fail(input);
    }
    const std::int64_t start = now();
    const pid_t child = ::fork();
    if (child < 0) {
        fail("fork");
    }
    if (child == 0) {
        const int out = ::open(c.out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0) {
            ::_exit(126);
        }
        ::close(in);
        ::close(out);
        ::signal(SIGPIPE, SIG_DFL);
        ::execvp(c.argv[0], c.argv);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            fail("wait4");
        }
    }
    const std::int64_t elapsed = now() - start;
    ::close(in);
    if (feeder > 0) {
        ::waitpid(feeder, nullptr, 0);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "pair: %s failed (status %d)\n", c.argv[0], status);
        std::exit(1);
    }
    return {elapsed, usage.ru_maxrss};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s ROUNDS OUTFILE INPUT COMMAND_A... -- COMMAND_B...\n",
                     argv[0]);
        return 2;
    }
    const long rounds = std::strtol(argv[1], nullptr, 10);
    const char* const outfile = argv[2];
    const char* const input = argv[3];
    // The two commands are cut out of the argument vector in place: the "--" between them
    // becomes the null pointer that ends the first, and the vector's own ends the second.
    command commands[2];
    int which = 0;
    for (int i = 4; i < argc; ++i) {
        const std::string_view word = argv[i];
        command& c = commands[which];
        if (word == "--" && which == 0) {
            argv[i] = nullptr;
            which = 1;
        } else if (c.argv == nullptr && word.starts_with('>')) {
            c.out = argv[i] + 1;
        } else if (c.argv == nullptr) {
            c.argv = argv + i;
        }
    }
    if (commands[0].argv == nullptr || commands[1].argv == nullptr) {
        std::fprintf(stderr, "pair: two commands are needed, split by --\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);       // a feeder whose reader has gone ends on EPIPE
    run(commands[0], outfile, input); // warm-up pair
    run(commands[1], outfile, input);
    for (long round = 0; round < rounds; ++round) {
        sample a{};
        sample b{};
        if (round % 2 == 0) {
            a = run(commands[0], outfile, input);
            b = run(commands[1], outfile, input);
        } else {
            b = run(commands[1], outfile, input);
            a = run(commands[0], outfile, input);
        }
        std::printf("%lld %ld %lld %ld\n", static_cast<long long>(a.nanoseconds), a.peak_kib,
                    static_cast<long long>(b.nanoseconds), b.peak_kib);
    }
    return 0;
}
