// The floor under any reader of binary samples: BYTES bytes of FILE from OFFSET read with pread
// into fresh memory and swapped from big-endian 16-bit values into the host's order, on N threads
// each its stretch, with and without the memory advised to huge pages. Prints one line a
// setting, "floor THREADS plain|huge SECONDS", the best of RUNS, each into memory just mapped.
//
// Usage: floor FILE OFFSET BYTES [RUNS [THREADS...]]  (threads default: 1 and the machine's)
#include "values.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double one_run(int fd, std::uint64_t offset, std::uint64_t bytes, unsigned threads, bool huge) {
    const auto start = std::chrono::steady_clock::now();
    void* memory =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("mmap");
        std::exit(1);
    }
    auto* out = static_cast<char*>(memory);
    if (huge) {
        ::madvise(memory, bytes, MADV_HUGEPAGE);
    }
    const std::uint64_t stretch = (bytes / 2 + threads - 1) / threads * 2;
    const auto work = [&](unsigned t) {
        constexpr std::uint64_t chunk = std::uint64_t{1} << 20;
        const std::uint64_t end = std::min(bytes, stretch * (t + 1));
        for (std::uint64_t at = std::min(bytes, stretch * t); at < end;) {
            const auto n = static_cast<std::size_t>(std::min(chunk, end - at));
            const ssize_t got = ::pread(fd, out + at, n, static_cast<off_t>(offset + at));
            if (got <= 0) {
                std::perror("pread");
                std::exit(1);
            }
            vox::legacy::swap_each(out + at, static_cast<std::uint64_t>(got) / 2, 2);
            at += static_cast<std::uint64_t>(got);
        }
    };
    std::vector<std::thread> others;
    for (unsigned t = 1; t < threads; ++t) {
        others.emplace_back(work, t);
    }
    work(0);
    for (std::thread& t : others) {
        t.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::munmap(memory, bytes);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "USAGE: floor FILE OFFSET BYTES [RUNS [THREADS...]]\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const std::uint64_t offset = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t bytes = std::strtoull(argv[3], nullptr, 10) / 2 * 2;
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    std::vector<unsigned> threads;
    for (int i = 5; i < argc; ++i) {
        threads.push_back(static_cast<unsigned>(std::max(1, std::atoi(argv[i]))));
    }
    if (threads.empty()) {
        threads = {1, std::max(1U, std::thread::hardware_concurrency())};
    }
    for (const unsigned n : threads) {
        for (const bool huge : {false, true}) {
            double best = 0;
            for (int r = 0; r < runs; ++r) {
                const double s = one_run(fd, offset, bytes, n, huge);
                best = r == 0 ? s : std::min(best, s);
            }
            std::printf("floor %u %s %.3f\n", n, huge ? "huge" : "plain", best);
        }
    }
    ::close(fd);
    return 0;
}
