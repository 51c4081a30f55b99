// Buffered reading of a file, or of bytes in memory, for the reader: whole lines of bounded length,
// payloads up to the next keyword, and the rest of the file, all in one buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace vox::info {

// Where the bytes come from.
class source {
  public:
    virtual ~source() = default;
    // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 on a read error.
    virtual long read(char* buffer, std::size_t size) = 0;
    // Whether the bytes are known to end (a regular file, bytes in memory); a pipe or a device
    // may go on for ever.
    virtual bool finite() const { return true; }
};

// A file descriptor, read with read(2); it is not closed.
class fd_source final : public source {
  public:
    explicit fd_source(int fd) : fd_(fd) {}
    long read(char* buffer, std::size_t size) override;
    bool finite() const override;

  private:
    int fd_;
};

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
// everything.
class payload_sink {
  public:
    virtual ~payload_sink() = default;
    virtual std::size_t take(const char* data, std::size_t size, std::uint64_t offset,
                             bool last) = 0;
};

enum class line_status { ok, end_of_file, too_long, unterminated, read_error };

class input {
  public:
    static constexpr std::size_t buffer_size = 128 * 1024;
    // Room for the longest path (PATH_MAX) behind a keyword, as in the reference-mode line.
    static constexpr std::size_t max_line = 8192;

    explicit input(source& from);

    // The position of the next byte in the file.
    std::uint64_t offset() const { return base_ + pos_; }
    bool read_failed() const { return failed_; }
    bool finite() const { return from_.finite(); }

    // The next line, without its line feed, at most max_line bytes long. The view stays valid until
    // the next call.
    line_status read_line(std::string_view& line);

    // Streams the bytes up to the first occurrence of `pattern` into `sink` and stops in front of
    // it. False when the file (or `limit` bytes) ends first; everything up to there went to `sink`.
    bool stream_until(std::string_view pattern, std::uint64_t limit, payload_sink& sink);

    // Streams the rest of the file into `sink`.
    void stream_to_end(payload_sink& sink);

  private:
    bool fill(); // moves what is left to the front and reads more; false when nothing came
    source& from_;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    std::uint64_t base_ = 0; // the file offset of buffer_[0]
    bool eof_ = false, failed_ = false;
};

} // namespace vox::info
