#include "input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::legacy {

long fd_source::read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return static_cast<long>(got);
        }
    }
}

bool read_at(int fd, char* to, std::uint64_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(
            fd, to, static_cast<std::size_t>(std::min<std::uint64_t>(size, std::uint64_t{1} << 30)),
            static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        to += got;
        size -= static_cast<std::uint64_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool fd_source::finite() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

long long source::skip(std::uint64_t size) {
    char scratch[16384];
    std::uint64_t left = size;
    while (left > 0) {
        const long got =
            read(scratch, static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof scratch)));
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        left -= static_cast<std::uint64_t>(got);
    }
    return static_cast<long long>(size - left);
}

long long fd_source::skip(std::uint64_t size) {
    struct stat st {};
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return source::skip(size);
    }
    const auto left = static_cast<std::uint64_t>(std::max<off_t>(st.st_size - at, 0));
    const std::uint64_t n = std::min(size, left);
    if (::lseek(fd_, at + static_cast<off_t>(n), SEEK_SET) < 0) {
        return -1;
    }
    return static_cast<long long>(n);
}

long memory_source::read(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return static_cast<long>(n);
}

input::input(source& from)
    : from_(from),
      buffer_(static_cast<char*>(::operator new (buffer_size, std::align_val_t{4096}))) {}

bool input::fill(bool in_place) {
    if (eof_) {
        return false;
    }
    // What is left moves to the front. With `in_place`, for binary values of a known count, it
    // moves only as near the front as keeps every byte where it lies within its page of the
    // file: the kernel copies a read into a buffer placed otherwise several times slower, and a
    // header of an odd length would place every read of the samples so.
    constexpr std::size_t page = 4096;
    const auto to = in_place ? static_cast<std::size_t>((base_ + pos_) % page) : 0;
    if (pos_ > to || (in_place && pos_ == end_)) {
        std::memmove(buffer_.get() + to, buffer_.get() + pos_, end_ - pos_);
        base_ = base_ + pos_ - to;
        end_ = to + (end_ - pos_);
        pos_ = to;
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
            ++line_feeds_;
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

bool input::skip_blanks() {
    for (;;) {
        while (pos_ < end_ && is_blank(buffer_.get()[pos_])) {
            line_feeds_ += buffer_.get()[pos_] == '\n' ? 1 : 0;
            ++pos_;
        }
        if (pos_ < end_) {
            return true;
        }
        if (!fill()) {
            return false;
        }
    }
}

void input::skip_line_end() {
    for (;;) {
        while (pos_ < end_ && buffer_.get()[pos_] != '\n' && is_blank(buffer_.get()[pos_])) {
            ++pos_;
        }
        if (pos_ < end_) {
            if (buffer_.get()[pos_] == '\n') {
                ++pos_;
                ++line_feeds_;
            }
            return;
        }
        if (!fill()) {
            return;
        }
    }
}

line_status input::word_at(std::string_view& word, bool consume) {
    if (!skip_blanks()) {
        word = {};
        return failed_ ? line_status::read_error : line_status::end_of_file;
    }
    std::size_t length = 0;
    for (;;) {
        const char* start = buffer_.get() + pos_;
        while (pos_ + length < end_ && length <= max_line && !is_blank(start[length])) {
            ++length;
        }
        if (length > max_line) {
            word = std::string_view(start, length);
            return line_status::too_long;
        }
        if (pos_ + length < end_ || !fill()) {
            break;
        }
    }
    if (failed_) {
        return line_status::read_error;
    }
    word = std::string_view(buffer_.get() + pos_, length);
    if (consume) {
        pos_ += length;
    }
    return line_status::ok;
}

line_status input::read_word(std::string_view& word) {
    return word_at(word, true);
}

line_status input::peek_word(std::string_view& word) {
    return word_at(word, false);
}

bool input::skip_line() {
    for (;;) {
        const char* start = buffer_.get() + pos_;
        if (const void* lf = std::memchr(start, '\n', end_ - pos_)) {
            pos_ += static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
            ++line_feeds_;
            return true;
        }
        pos_ = end_;
        if (!fill()) {
            return false;
        }
    }
}

std::uint64_t input::stream_count(std::uint64_t count, payload_sink& sink) {
    std::uint64_t left = count;
    while (left > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - pos_, left));
        if (n > 0) {
            const std::size_t took = sink.take(buffer_.get() + pos_, n, offset(), n == left);
            pos_ += took;
            left -= took;
            if (left == 0) {
                break;
            }
        }
        if (!fill(true)) {
            // The end of the file, or a full buffer that the sink leaves untouched: it takes what
            // there is.
            const auto rest = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - pos_, left));
            sink.take(buffer_.get() + pos_, rest, offset(), true);
            pos_ += rest;
            left -= rest;
            if (eof_) {
                break;
            }
        }
    }
    return count - left;
}

std::uint64_t input::skip_count(std::uint64_t count) {
    const auto buffered = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - pos_, count));
    pos_ += buffered;
    std::uint64_t left = count - buffered;
    if (left == 0 || eof_) {
        return count - left;
    }
    // The buffer is used up: the source goes on from its end.
    base_ += end_;
    pos_ = end_ = 0;
    const long long got = from_.skip(left);
    if (got < 0) {
        eof_ = failed_ = true;
        return count - left;
    }
    base_ += static_cast<std::uint64_t>(got);
    left -= static_cast<std::uint64_t>(got);
    eof_ = left > 0;
    return count - left;
}

bool input::stream_until(std::string_view pattern, std::uint64_t limit, payload_sink& sink) {
    const std::uint64_t start = offset();
    for (;;) {
        const char* data = buffer_.get() + pos_;
        const std::size_t available = end_ - pos_;
        // The pattern counts only where a blank or a tab follows it, or the end of the file.
        std::size_t from = 0;
        const char* found = nullptr;
        bool undecided = false;
        while (from < available) {
            const auto* at = static_cast<const char*>(
                ::memmem(data + from, available - from, pattern.data(), pattern.size()));
            if (at == nullptr) {
                break;
            }
            const auto after = static_cast<std::size_t>(at - data) + pattern.size();
            if (after == available) {
                undecided = !eof_;
                found = eof_ ? at : nullptr;
                break;
            }
            if (data[after] == ' ' || data[after] == '\t') {
                found = at;
                break;
            }
            from = static_cast<std::size_t>(at - data) + 1;
        }
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
        const std::size_t keep =
            undecided ? pattern.size() : std::min(available, pattern.size() - 1);
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
        if (sink.done()) {
            pos_ += took;
            return;
        }
        pos_ = grew ? pos_ + took : end_;
        if (eof_) {
            return;
        }
    }
}

} // namespace vox::legacy
