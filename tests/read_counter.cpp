// The stand-ins for read, copy_file_range, sendfile and splice that the test executable links in
// place of the C library's. This file includes no header that declares them, so that no inline
// wrapper of them gets in the way; each makes its system call directly.
#include "read_counter.hpp"

#include <atomic>
#include <sys/syscall.h>
#include <sys/types.h>

extern "C" long syscall(long number, ...) noexcept;

namespace {

std::atomic<int> watched_fd{-1};
std::atomic<long> reads{0};
std::atomic<long> file_range_copies{0};
std::atomic<long> sendfiles{0};
std::atomic<long> splices{0};

void count(int fd, std::atomic<long>& calls) {
    if (fd == watched_fd.load()) {
        ++calls;
    }
}

} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    count(fd, reads);
    return syscall(SYS_read, fd, buffer, size);
}

extern "C" ssize_t copy_file_range(int in, loff_t* in_offset, int out, loff_t* out_offset,
                                   size_t size, unsigned flags) {
    count(in, file_range_copies);
    return syscall(SYS_copy_file_range, in, in_offset, out, out_offset, size, flags);
}

extern "C" ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
    count(in, sendfiles);
    return syscall(SYS_sendfile, out, in, offset, size);
}

extern "C" ssize_t splice(int in, loff_t* in_offset, int out, loff_t* out_offset, size_t size,
                          unsigned flags) {
    count(in, splices);
    return syscall(SYS_splice, in, in_offset, out, out_offset, size, flags);
}

namespace vox::test {

void watch_calls(int fd) {
    reads = 0;
    file_range_copies = 0;
    sendfiles = 0;
    splices = 0;
    watched_fd = fd;
}

call_counts watched_calls() {
    return {reads.load(), file_range_copies.load(), sendfiles.load(), splices.load()};
}

} // namespace vox::test
