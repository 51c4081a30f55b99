#include "volume.hpp"

#include "text.hpp"

#include "facts.hpp"
#include "input.hpp"
#include "parser.hpp"
#include "values.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::view {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;
using legacy::number_kind;
using legacy::type_info;

constexpr bool host_little = std::endian::native == std::endian::little;

using legacy::plural;
using legacy::swap_each;
using legacy::to_text;

// A descriptor closed when it goes.
struct file {
    int fd = -1;
    explicit file(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~file() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    file(const file&) = delete;
    file& operator=(const file&) = delete;
};

// All of `size` bytes at `offset`, unless the file ends or cannot be read.
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

std::string failure_text(const std::string& path, const legacy::parse_result& parsed) {
    switch (parsed.failed) {
    case legacy::parse_result::failure::reading:
        return path + ": error reading the file";
    case legacy::parse_result::failure::refused:
        return path + ": not read: " + parsed.message;
    default:
        return path + ": not in the legacy layout: " + parsed.message;
    }
}

} // namespace

std::string open(const std::string& path, byte_order order, volume& v) {
    v = volume{};
    v.header_path = path;
    file header(path);
    if (header.fd < 0) {
        return path + ": cannot be opened (" + std::strerror(errno) + ")";
    }
    legacy::fd_source from(header.fd);
    legacy::coordinate_keeper grid;
    const legacy::parse_result parsed = legacy::parse(from, v.model, &grid);
    if (parsed.failed != legacy::parse_result::failure::none) {
        return failure_text(path, parsed);
    }
    const legacy::file_model& m = v.model;
    const legacy::file_facts facts = legacy::derive(m, path);
    if (!facts.samples) {
        return path + ": no samples: no SCALARS in POINT_DATA";
    }
    const legacy::samples_facts& s = *facts.samples;
    v.samples = &m.arrays[s.index];
    const array_info& a = *v.samples;
    for (const std::uint32_t d : m.dimensions) {
        if (d == 0 || d > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
            return path + ": DIMENSIONS " + to_text(m.dimensions[0]) + " " +
                   to_text(m.dimensions[1]) + " " + to_text(m.dimensions[2]) +
                   " is no grid that can be shown";
        }
    }
    if (const std::string why = legacy::point_data_problem(m); !why.empty()) {
        return path + ": " + why;
    }
    if (a.type == nullptr) {
        return path + ": samples of type " + legacy::shown(a.type_word) + ", which has no size";
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (const std::string why = legacy::grid_lines(m, axis, grid, order, v.coordinates[axis]);
            !why.empty()) {
            return path + ": " + why;
        }
    }
    if (const std::string why = legacy::reference_problem(m, s); !why.empty()) {
        return path + ": " + why;
    }
    v.samples_path = s.path;
    v.samples_offset = s.offset;
    if (m.coding != encoding::ascii) {
        if (s.bytes_found < *s.bytes_needed) {
            return path + ": " +
                   legacy::samples_length_problem(
                       m, s.bytes_found, m.coding == encoding::binary_file ? " in " + s.path : "");
        }
        const std::optional<bool> little = legacy::samples_little_endian(m, s, order);
        if (!little) {
            return path + ": samples: error reading " + v.samples_path;
        }
        v.little_endian_samples = *little;
    }
    return {};
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> byte_ranges(const volume& v,
                                                                 const extent& part) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    const std::uint64_t nx = v.model.dimensions[0], ny = v.model.dimensions[1];
    const std::uint64_t point = std::uint64_t{v.samples->type->size} * v.samples->components;
    const auto row = static_cast<std::uint64_t>(part[1] - part[0] + 1) * point;
    for (int k = part[4]; k <= part[5]; ++k) {
        for (int j = part[2]; j <= part[3]; ++j) {
            const std::uint64_t first =
                (static_cast<std::uint64_t>(part[0]) +
                 nx * (static_cast<std::uint64_t>(j) + ny * static_cast<std::uint64_t>(k))) *
                point;
            const std::uint64_t at = v.samples_offset + first;
            if (!ranges.empty() && ranges.back().first + ranges.back().second == at) {
                ranges.back().second += row;
            } else {
                ranges.emplace_back(at, row);
            }
        }
    }
    return ranges;
}

namespace {

// Writes the text samples inside an extent to their places in the output.
class text_samples final : public legacy::value_sink {
  public:
    text_samples(const volume& v, const extent& part, char* out)
        : v_(v), part_(part), out_(out), size_(v.samples->type->size),
          components_(v.samples->components), colours_(v.samples->kind == attribute::color_scalars),
          whole_(part == v.whole()), stored_(v.samples->type->kind == number_kind::bit ? 1 : size_),
          count_(v.model.points() * components_) {}
    std::size_t take(const char*, std::size_t size, std::uint64_t, bool) override { return size; }
    void word(const char* begin, const char* end, std::uint64_t offset) override {
        const std::uint64_t index = values_++;
        if (whole_) {
            // The whole grid, the common case: each value goes where it comes.
            if (index < count_) {
                store(begin, end, offset, out_ + index * stored_);
            }
            return;
        }
        const std::uint64_t point = index / components_;
        const std::uint64_t nx = v_.model.dimensions[0], ny = v_.model.dimensions[1];
        const auto i = static_cast<int>(point % nx);
        const auto j = static_cast<int>(point / nx % ny);
        const auto k = static_cast<int>(point / nx / ny);
        if (point >= v_.model.points() || i < part_[0] || i > part_[1] || j < part_[2] ||
            j > part_[3] || k < part_[4] || k > part_[5]) {
            return;
        }
        const auto wx = static_cast<std::uint64_t>(part_[1] - part_[0] + 1);
        const auto wy = static_cast<std::uint64_t>(part_[3] - part_[2] + 1);
        const std::uint64_t at = (static_cast<std::uint64_t>(i - part_[0]) +
                                  wx * (static_cast<std::uint64_t>(j - part_[2]) +
                                        wy * static_cast<std::uint64_t>(k - part_[4]))) *
                                     components_ +
                                 index % components_;
        store(begin, end, offset, out_ + at * stored_);
    }
    std::uint64_t values_ = 0, bad_ = 0, first_bad_at_ = 0;
    std::string first_bad_;

  private:
    void store(const char* begin, const char* end, std::uint64_t offset, char* to) {
        if (!legacy::store_text_value(*v_.samples->type, colours_, begin, end, to) && bad_++ == 0) {
            first_bad_ = std::string(begin, end);
            first_bad_at_ = offset;
        }
    }

    const volume& v_;
    const extent& part_;
    char* out_;
    unsigned size_, components_;
    bool colours_, whole_;
    unsigned stored_;
    legacy::uint128 count_;
};

class samples_only final : public legacy::value_provider {
  public:
    explicit samples_only(text_samples& sink) : sink_(sink) {}
    legacy::value_sink* values_of(const legacy::file_model& model, const array_info&) override {
        return model.arrays.size() - 1 == model.samples ? &sink_ : nullptr;
    }

  private:
    text_samples& sink_;
};

} // namespace

std::string read_samples(const volume& v, const extent& part, char* out,
                         std::uint64_t& bytes_read) {
    const array_info& a = *v.samples;
    const type_info& type = *a.type;
    file from(v.samples_path);
    if (from.fd < 0) {
        return v.samples_path + ": cannot be opened (" + std::strerror(errno) + ")";
    }
    if (v.model.coding == encoding::ascii) {
        text_samples sink(v, part, out);
        samples_only provider(sink);
        legacy::fd_source source(from.fd);
        legacy::file_model again;
        const legacy::parse_result parsed = legacy::parse(source, again, &provider);
        if (parsed.failed != legacy::parse_result::failure::none) {
            return failure_text(v.header_path, parsed);
        }
        bytes_read += again.arrays[*again.samples].bytes;
        const legacy::uint128 count = v.model.points() * a.components;
        if (sink.values_ < count) {
            return v.header_path + ": samples: expected " + plural(count, "number", "numbers") +
                   ", found " + to_text(sink.values_);
        }
        if (sink.bad_ > 0) {
            return v.header_path + ": samples: a word is not a number of type " + a.type_word +
                   ", the first " + legacy::shown(sink.first_bad_) + " at byte " +
                   to_text(sink.first_bad_at_);
        }
        return {};
    }
    if (type.kind == number_kind::bit) {
        // Bits are packed eight to a byte, the first in the highest bit: the bytes from the first
        // value of the extent to its last, read at once.
        const std::uint64_t nx = v.model.dimensions[0], ny = v.model.dimensions[1];
        const auto index = [&](int i, int j, int k) {
            return (static_cast<std::uint64_t>(i) +
                    nx * (static_cast<std::uint64_t>(j) + ny * static_cast<std::uint64_t>(k))) *
                   a.components;
        };
        const std::uint64_t first = index(part[0], part[2], part[4]);
        const std::uint64_t last = index(part[1], part[3], part[5]) + a.components - 1;
        const std::uint64_t from_byte = first / 8, size = last / 8 - first / 8 + 1;
        std::string bytes(size, '\0');
        if (!read_at(from.fd, bytes.data(), size, v.samples_offset + from_byte)) {
            return v.header_path + ": samples: error reading " + v.samples_path;
        }
        bytes_read += size;
        char* to = out;
        for (int k = part[4]; k <= part[5]; ++k) {
            for (int j = part[2]; j <= part[3]; ++j) {
                for (std::uint64_t n = index(part[0], j, k);
                     n < index(part[1], j, k) + a.components; ++n) {
                    const auto byte = static_cast<unsigned char>(bytes[n / 8 - from_byte]);
                    *to++ = static_cast<char>((byte >> (7 - n % 8)) & 1);
                }
            }
        }
        return {};
    }
    // Read a MiB at a time, each swapped into the host's order while it is in the cache.
    constexpr std::uint64_t chunk = std::uint64_t{1} << 20;
    const bool swap = v.little_endian_samples != host_little;
    char* to = out;
    for (const auto& [offset, size] : byte_ranges(v, part)) {
        for (std::uint64_t done = 0; done < size; done += chunk) {
            const std::uint64_t n = std::min(chunk, size - done);
            if (!read_at(from.fd, to, n, offset + done)) {
                return v.header_path + ": samples: error reading " + v.samples_path;
            }
            if (swap) {
                swap_each(to, n / type.size, type.size);
            }
            to += n;
            bytes_read += n;
        }
    }
    return {};
}

bool claims(const std::string& path) {
    file header(path);
    if (header.fd < 0) {
        return false;
    }
    legacy::fd_source from(header.fd);
    legacy::input in(from);
    std::string_view line;
    if (in.read_line(line) != legacy::line_status::ok ||
        line.substr(0, 22) != "# vtk DataFile Version") {
        return false;
    }
    // The title, and the encoding line with a path in reference mode.
    std::string_view word;
    if (in.read_line(line) != legacy::line_status::ok ||
        in.read_word(word) != legacy::line_status::ok || !in.skip_line() ||
        in.read_word(word) != legacy::line_status::ok) {
        return false;
    }
    const std::string_view dataset = "DATASET";
    return !std::equal(word.begin(), word.end(), dataset.begin(), dataset.end(),
                       [](char x, char y) { return (x & ~0x20) == y; });
}

} // namespace vox::view
