// The stand-in for read() that the test executable links in place of the C library's. This file
// includes no header that declares read, so that no inline wrapper of it gets in the way.
#include "read_counter.hpp"

#include <atomic>
#include <sys/syscall.h>
#include <sys/types.h>

extern "C" long syscall(long number, ...) noexcept;

namespace {
std::atomic<int> watched_fd{-1};
std::atomic<long> reads{0};
} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    if (fd == watched_fd.load()) {
        ++reads;
    }
    return syscall(SYS_read, fd, buffer, size);
}

namespace vox::test {

void watch_reads(int fd) {
    reads = 0;
    watched_fd = fd;
}

long watched_reads() {
    return reads.load();
}

} // namespace vox::test
