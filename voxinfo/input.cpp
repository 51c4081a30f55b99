#include "input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::info {

long fd_source::read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return static_cast<long>(got);
        }
    }
}

bool fd_source::finite() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

long memory_source::read(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
}

input::input(source& from) : from_(from), buffer_(new char[buffer_size]) {}

bool input::fill() {
    if (eof_) {
        return false;
    }
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        base_ += pos_;
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buffer_size) {
        return false;
    }
    const long got = from_.read(buffer_.get() + end_, buffer_size - end_);
    if (got <= 0) {
        eof_ = true;
        failed_ = got < 0;
        return false;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
}

line_status input::read_line(std::string_view& line) {
    std::size_t searched = 0;
    for (;;) {
        const char* start = buffer_.get() + pos_;
        const std::size_t window = std::min(end_ - pos_, max_line + 1);
        if (const void* lf = std::memchr(start + searched, '\n', window - searched)) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
            line = std::string_view(start, length);
            pos_ += length + 1;
            return line_status::ok;
        }
        searched = window;
        if (window > max_line) {
            line = std::string_view(start, window);
            return line_status::too_long;
        }
        if (!fill()) {
            line = std::string_view(buffer_.get() + pos_, end_ - pos_);
            if (failed_) {
                return line_status::read_error;
            }
            return line.empty() ? line_status::end_of_file : line_status::unterminated;
        }
    }
}

bool input::stream_until(std::string_view pattern, std::uint64_t limit, payload_sink& sink) {
    const std::uint64_t start = offset();
    for (;;) {
        const char* data = buffer_.get() + pos_;
        const std::size_t available = end_ - pos_;
        const auto* found =
            static_cast<const char*>(::memmem(data, available, pattern.data(), pattern.size()));
        if (found != nullptr) {
            std::size_t before = static_cast<std::size_t>(found - data);
            // The sink sees the payload to its end, and takes all of it.
            while (before > 0) {
                const std::size_t took = sink.take(buffer_.get() + pos_, before, offset(), true);
                pos_ += took;
                before -= took;
                if (took == 0) {
                    pos_ += before;
                    break;
                }
            }
            return true;
        }
        if (eof_ || offset() - start > limit) {
            sink.take(data, available, offset(), true);
            pos_ = end_;
            return false;
        }
        // Keep the tail that may be the start of the pattern; offer the sink the rest.
        const std::size_t keep = std::min(available, pattern.size() - 1);
        pos_ += sink.take(data, available - keep, offset(), false);
        if (!fill() && !eof_) {
            // A full buffer that the sink leaves untouched: make it take what it has.
            const std::size_t rest = end_ - pos_ - keep;
            sink.take(buffer_.get() + pos_, rest, offset(), true);
            pos_ += rest;
        }
    }
}

void input::stream_to_end(payload_sink& sink) {
    for (;;) {
        // Not growing is the end of the file, or a full buffer that the sink left untouched: then
        // it is made to take everything.
        const bool grew = fill();
        const std::size_t took = sink.take(buffer_.get() + pos_, end_ - pos_, offset(), !grew);
        pos_ = grew ? pos_ + took : end_;
        if (eof_) {
            return;
        }
    }
}

} // namespace vox::info
