#include "payload.hpp"

#include <cerrno>
#include <cstddef>
#include <unistd.h>

namespace vox {

namespace {

constexpr std::size_t block_size = 128 * 1024;

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

} // namespace

copy_status copy_payload(std::FILE* in, std::FILE* out) {
    // The header lines before the payload sit in the stream's buffer; they go first. The payload
    // then passes beside the stream, straight between the descriptors: nothing has been read from
    // `in` through its stream, so the descriptor is where the stream would be.
    if (std::fflush(out) != 0) {
        return copy_status::write_failed;
    }
    const copy_status status = copy_blocks(fileno(in), fileno(out));
    // Let the output stream learn the offset that the copy moved, where the file has one.
    if (::lseek(fileno(out), 0, SEEK_CUR) >= 0) {
        std::fseek(out, 0, SEEK_CUR);
    }
    return status;
}

} // namespace vox
