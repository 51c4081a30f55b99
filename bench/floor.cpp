// The floor under any reader of binary samples: BYTES bytes of FILE from OFFSET read with pread
// into memory just mapped and swapped from big-endian 16-bit values into the host's order, on
// THREADS threads each its stretch, the memory advised to huge pages or not. One run a process,
// so that each starts as a reader does, in a fresh process with fresh memory: a second run in
// the same process would find pages the first has just given back, which a virtual machine has
// not yet returned to its host and a fresh process rarely gets. Prints the seconds.
//
// Usage: floor FILE OFFSET BYTES THREADS plain|huge
#include "values.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 6 || (std::strcmp(argv[5], "plain") != 0 && std::strcmp(argv[5], "huge") != 0)) {
        std::fprintf(stderr, "USAGE: floor FILE OFFSET BYTES THREADS plain|huge\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const std::uint64_t offset = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t bytes = std::strtoull(argv[3], nullptr, 10) / 2 * 2;
    const auto threads = static_cast<unsigned>(std::max(1, std::atoi(argv[4])));
    const bool huge = std::strcmp(argv[5], "huge") == 0;

    const auto start = std::chrono::steady_clock::now();
    void* memory =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("mmap");
        return 1;
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
                std::fprintf(stderr, "%s: cannot read at byte %llu\n", argv[1],
                             static_cast<unsigned long long>(offset + at));
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
    std::printf("%.3f\n", seconds);
    ::munmap(memory, bytes);
    ::close(fd);
    return 0;
}
