// Buffered reading of a file, or of bytes in memory, for the reader: header words and lines of
// bounded length, and payloads streamed past sinks, all in one buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

namespace vox::legacy {

// Where the bytes come from.
class source {
  public:
    virtual ~source() = default;
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 on a read error.
    virtual long read(char* buffer, std::size_t size) = 0;
    // Whether the bytes are known to end (a regular file, bytes in memory); a pipe or a device
    // may go on for ever.
    virtual bool finite() const { return true; }
    // Passes over up to `size` bytes without handing them out: the count, fewer at the end, -1 on
    // a read error. By default they are read and dropped.
    virtual long long skip(std::uint64_t size);
};

// A file descriptor, read with read(2); it is not closed.
class fd_source final : public source {
  public:
    explicit fd_source(int fd) : fd_(fd) {}
    long read(char* buffer, std::size_t size) override;
    bool finite() const override;
    // A regular file is passed over with lseek(2), without reading it.
    long long skip(std::uint64_t size) override;

  private:
    int fd_;
};

// All of `size` bytes at `offset` of descriptor `fd`, unless the file ends or cannot be read.
bool read_at(int fd, char* to, std::uint64_t size, std::uint64_t offset);

// Bytes in memory, which must outlive the source.
class memory_source final : public source {
  public:
    explicit memory_source(std::string_view bytes) : bytes_(bytes) {}
    long read(char* buffer, std::size_t size) override;

  private:
    std::string_view bytes_;
};

// Takes the bytes of a payload as they stream past, a block at a time. `offset` is the position of
// `data` in the file. Returns how many bytes it took from the front; what it leaves is offered
// again, with more behind it, in the next call. When `last` is set nothing follows and it takes
// everything. A sink that finds the end of its payload itself says so with done(): what it left
// then belongs to what follows.
class payload_sink {
  public:
    virtual ~payload_sink() = default;
    virtual std::size_t take(const char* data, std::size_t size, std::uint64_t offset,
                             bool last) = 0;
    virtual bool done() const { return false; }
};

enum class line_status { ok, end_of_file, too_long, unterminated, read_error };

// Blanks between header words: VTK's reader takes any white space there.
constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class input {
  public:
    static constexpr std::size_t buffer_size = 128 * 1024;
    // Room for the longest path (PATH_MAX) behind a keyword, as in the reference-mode line.
    static constexpr std::size_t max_line = 8192;

    explicit input(source& from);

    // The position of the next byte in the file.
    std::uint64_t offset() const { return base_ + pos_; }
    // Line feeds passed in the header and in text payloads: the number of the current line is
    // one more, as long as no binary payload went past uncounted.
    std::uint64_t line() const { return line_feeds_ + 1; }
    bool lines_known() const { return lines_known_; }
    bool read_failed() const { return failed_; }
    bool finite() const { return from_.finite(); }

    // The next line, without its line feed, at most max_line bytes long. The view stays valid until
    // the next call.
    line_status read_line(std::string_view& line);

    // The next word after any white space, at most max_line bytes long; end_of_file when only
    // white space is left. `peek_word` leaves it in place. The view stays valid until the next
    // call.
    line_status read_word(std::string_view& word);
    line_status peek_word(std::string_view& word);
    // The rest of the line the last word stood on, line feed included, as VTK's reader skips it
    // before binary values; false when the file ends first.
    bool skip_line();
    // Skips the blanks that end the current line, and its line feed, but nothing else.
    void skip_line_end();
    // Skips white space; false at the end of the file.
    bool skip_blanks();

    // Streams `count` bytes into `sink`; fewer when the file ends first. Returns how many.
    std::uint64_t stream_count(std::uint64_t count, payload_sink& sink);
    // Passes over `count` bytes that nothing wants, without reading them where the source can skip
    // them; fewer when the file ends first. Returns how many.
    std::uint64_t skip_count(std::uint64_t count);

    // Streams the bytes up to the first occurrence of `pattern` followed by a blank or a tab into
    // `sink` and stops in front of it. False when the file (or `limit` bytes) ends first;
    // everything up to there went to `sink`.
    bool stream_until(std::string_view pattern, std::uint64_t limit, payload_sink& sink);

    // Streams the rest of the file into `sink`, or as much as it takes before it is done.
    void stream_to_end(payload_sink& sink);

    // Counts the line feeds of text that a sink took, and marks the lines unknown after binary
    // bytes.
    void count_lines(std::uint64_t line_feeds) { line_feeds_ += line_feeds; }
    void lose_lines() { lines_known_ = false; }

  private:
    // Moves what is left to the front (`in_place`: as near as keeps each byte's place within its
    // page) and reads more; false when nothing came.
    bool fill(bool in_place = false);
    line_status word_at(std::string_view& word, bool consume);
    source& from_;
    // Page-aligned: the kernel copies a page-aligned file block fastest into a page-aligned
    // buffer (three times faster here than into one 16 bytes off).
    struct aligned_delete {
        void operator()(char* p) const { ::operator delete (p, std::align_val_t{4096}); }
    };
    std::unique_ptr<char, aligned_delete> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    std::uint64_t base_ = 0; // the file offset of buffer_[0]
    std::uint64_t line_feeds_ = 0;
    bool lines_known_ = true;
    bool eof_ = false, failed_ = false;
};

} // namespace vox::legacy
