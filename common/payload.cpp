#include "payload.hpp"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace vox {

namespace {

constexpr std::size_t block_size = 128 * 1024;
constexpr std::size_t kernel_chunk = std::size_t{1} << 30;
constexpr int pipe_size = 1 << 20; // what an unprivileged process may set by default

// How far a copy by the kernel got.
enum class kernel_copy {
    finished, // reached the end of the input
    refused,  // stopped short of the end: the caller carries on from the current offsets
};

// Loops `step` (one copy_file_range or sendfile call) to the end of the input. Any error hands
// the rest to the next way of copying, which meets a persistent error again and can tell a
// read from a write. A first call that returns 0 is no proof of the end either: files of procfs
// and sysfs report no size, and only reading them tells.
template <typename Step>
kernel_copy copy_in_kernel(Step step) {
    bool copied = false;
    for (;;) {
        const ssize_t n = step();
        if (n > 0) {
            copied = true;
        } else if (n == 0) {
            return copied ? kernel_copy::finished : kernel_copy::refused;
        } else if (errno != EINTR) {
            return kernel_copy::refused;
        }
    }
}

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

copy_status copy_blocks(int in, int out) {
    alignas(4096) static char buffer[block_size];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got == 0) {
            return copy_status::complete;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return copy_status::read_failed;
        }
        if (!write_all(out, buffer, static_cast<std::size_t>(got))) {
            return copy_status::write_failed;
        }
    }
}

copy_status copy_descriptors(int in, int out) {
    // Within the kernel first, as cat does: between files of one file system copy_file_range
    // (which may share blocks instead of copying them), elsewhere sendfile; the bytes never
    // pass through this process. A pipe as input is refused by both, but splice moves its
    // pages to a file or another pipe in one pass (a failed write takes nothing out of the
    // pipe). Whatever the kernel refuses altogether is copied block by block.
    if (copy_in_kernel([&] {
            return ::copy_file_range(in, nullptr, out, nullptr, kernel_chunk, 0);
        }) == kernel_copy::finished) {
        return copy_status::complete;
    }
    if (copy_in_kernel([&] { return ::sendfile(out, in, nullptr, kernel_chunk); }) ==
        kernel_copy::finished) {
        return copy_status::complete;
    }
    // A larger pipe lets the writer run further ahead between two splices (a pipe that is
    // larger already is left so; where the limits forbid it, the pipe stays as it is).
    const int current_pipe_size = ::fcntl(in, F_GETPIPE_SZ);
    if (current_pipe_size > 0 && current_pipe_size < pipe_size) {
        ::fcntl(in, F_SETPIPE_SZ, pipe_size);
    }
    if (copy_in_kernel([&] {
            return ::splice(in, nullptr, out, nullptr, kernel_chunk, SPLICE_F_MOVE);
        }) == kernel_copy::finished) {
        return copy_status::complete;
    }
    return copy_blocks(in, out);
}

} // namespace

copy_status copy_payload(std::FILE* in, std::FILE* out) {
    // The header lines before the payload sit in the stream's buffer; they go first. The payload
    // then passes beside the stream, straight between the descriptors: nothing has been read from
    // `in` through its stream, so the descriptor is where the stream would be.
    if (std::fflush(out) != 0) {
        return copy_status::write_failed;
    }
    const copy_status status = copy_descriptors(fileno(in), fileno(out));
    // Let the output stream learn the offset that the copy moved, where the file has one.
    if (::lseek(fileno(out), 0, SEEK_CUR) >= 0) {
        std::fseek(out, 0, SEEK_CUR);
    }
    return status;
}

} // namespace vox
