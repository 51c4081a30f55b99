#include "volume.hpp"

#include "text.hpp"

#include "facts.hpp"
#include "input.hpp"
#include "parser.hpp"
#include "values.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vox::view {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;
using legacy::number_kind;
using legacy::type_info;

constexpr bool host_little = std::endian::native == std::endian::little;

using legacy::max_word;
using legacy::plural;
using legacy::read_at;
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
    const legacy::file_facts facts = legacy::derive(
        m, path,
        order == byte_order::automatic ? legacy::deriving::byte_order : legacy::deriving::header);
    if (!facts.samples) {
        return path + ": no samples: no SCALARS in POINT_DATA";
    }
    const legacy::samples_facts& s = *facts.samples;
    v.samples_at = s.index;
    const array_info& a = v.samples();
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
        const std::optional<bool> little = legacy::samples_little_endian(s, order);
        if (!little) {
            return path + ": samples: error reading " + v.samples_path;
        }
        v.little_endian_samples = *little;
        v.order_note = legacy::order_note(s);
        v.order_unknown = s.judged && s.judged->order == legacy::order_evidence::verdict::unknown;
    }
    return {};
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> byte_ranges(const volume& v,
                                                                 const extent& part) {
    return byte_ranges(v, sampling{part});
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> byte_ranges(const volume& v,
                                                                 const sampling& part) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    const std::uint64_t nx = v.model.dimensions[0], ny = v.model.dimensions[1];
    const std::uint64_t point = std::uint64_t{v.samples().type->size} * v.samples().components;
    // From the first sample of a row to its last.
    const auto row =
        (static_cast<std::uint64_t>(part.count(0) - 1) * static_cast<std::uint64_t>(part.rate[0]) +
         1) *
        point;
    const std::array<int, 6>& box = part.box;
    for (int k = box[4]; k <= box[5]; k += part.rate[2]) {
        for (int j = box[2]; j <= box[3]; j += part.rate[1]) {
            const std::uint64_t first =
                (static_cast<std::uint64_t>(box[0]) +
                 nx * (static_cast<std::uint64_t>(j) + ny * static_cast<std::uint64_t>(k))) *
                point;
            const std::uint64_t at = v.samples_offset + first;
            if (part.rate[0] == 1 && !ranges.empty() &&
                ranges.back().first + ranges.back().second == at) {
                ranges.back().second += row;
            } else {
                ranges.emplace_back(at, row);
            }
        }
    }
    return ranges;
}

sampling selection::of(const extent& part) const {
    sampling s{{}, input.rate};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        s.box[2 * axis] = index(axis, part[2 * axis]);
        s.box[2 * axis + 1] = index(axis, part[2 * axis + 1]);
    }
    return s;
}

std::array<double, 3> selection::spacing(const volume& v) const {
    std::array<double, 3> out{};
    for (std::size_t a = 0; a < 3; ++a) {
        out[a] = v.model.spacing[a] * input.rate[a];
    }
    return out;
}

std::array<double, 3> selection::origin(const volume& v) const {
    std::array<double, 3> out{};
    for (std::size_t a = 0; a < 3; ++a) {
        out[a] = v.model.origin[a] +
                 v.model.spacing[a] * (input.box[2 * a] - whole[2 * a] * input.rate[a]);
    }
    return out;
}

std::string select(const volume& v, const extent& voi, const rates& rate, selection& out) {
    const extent grid = v.whole();
    const auto three = [](const auto& a, std::size_t from, std::size_t step) {
        return std::to_string(a[from]) + " " + std::to_string(a[from + step]) + " " +
               std::to_string(a[from + 2 * step]);
    };
    if (*std::min_element(rate.begin(), rate.end()) < 1) {
        return v.header_path + ": SampleRate " + three(rate, 0, 1) + ": each must be 1 or more";
    }
    out.input.rate = rate;
    for (std::size_t a = 0; a < 3; ++a) {
        const int lo = std::max(voi[2 * a], grid[2 * a]);
        const int hi = std::min(voi[2 * a + 1], grid[2 * a + 1]);
        if (lo > hi) {
            return v.header_path + ": VOI " + three(voi, 0, 2) + " to " + three(voi, 1, 2) +
                   " holds no sample of the grid, 0 0 0 to " + three(grid, 1, 2);
        }
        out.input.box[2 * a] = lo;
        out.input.box[2 * a + 1] = hi;
        out.whole[2 * a] = lo / rate[a];
        out.whole[2 * a + 1] = lo / rate[a] + out.input.count(a) - 1;
    }
    return {};
}

namespace {

// The threads for `bytes` of output.
unsigned threads_for(const reading& how, std::uint64_t bytes) {
    const unsigned most = how.threads != 0 ? how.threads : machine_threads();
    const std::uint64_t worth = bytes / std::max<std::uint64_t>(how.least_per_thread, 1);
    return static_cast<unsigned>(std::clamp<std::uint64_t>(worth, 1, most));
}

// The share of the sample bytes read so far, told on the calling thread as it grows; a read
// stops where the teller says so.
class meter {
  public:
    meter(const reading& how, std::uint64_t total)
        : how_(how), total_(std::max<std::uint64_t>(total, 1)),
          caller_(std::this_thread::get_id()) {}

    // Counts `bytes` more read: false once the read is to stop.
    bool add(std::uint64_t bytes) {
        done_ += bytes;
        if (std::this_thread::get_id() == caller_) {
            tell();
        }
        return !stop_;
    }
    // Tells the share read, on the calling thread, where it grew by a hundredth at least.
    void tell() {
        const double share = static_cast<double>(done_) / static_cast<double>(total_);
        if (how_.progress && (share >= told_ + 0.01 || share >= 1) && share > told_) {
            told_ = share;
            stop_ = stop_ || how_.progress(std::min(share, 1.0));
        }
    }
    bool stopped() const { return stop_; }
    std::function<void()> teller() {
        return [this] { tell(); };
    }

  private:
    const reading& how_;
    const std::uint64_t total_;
    const std::thread::id caller_;
    std::atomic<std::uint64_t> done_ = 0;
    std::atomic<bool> stop_ = false;
    double told_ = 0;
};

// Advises the whole huge pages inside [out, out + size) to be made huge.
void advise_huge_pages(char* out, std::uint64_t size) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto first = (reinterpret_cast<std::uintptr_t>(out) + huge - 1) & ~(huge - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(out) + size) & ~(huge - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

// Reads the binary samples of `ranges` into `out`, one after the other, every `step`-th point
// (`unit` bytes) of each range from its first, on `threads` threads, each taking an even stretch
// of the output, cut at whole points; values of `size` bytes swapped where `swap`. False when the
// file cannot be read.
bool read_binary(int fd, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges,
                 char* out, unsigned unit, unsigned size, bool swap, unsigned step,
                 unsigned threads, meter& m, const reading& how) {
    // Where each range starts in the output.
    std::vector<std::uint64_t> starts(ranges.size() + 1, 0);
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        starts[r + 1] = starts[r] + (ranges[r].second / unit - 1) / step * unit + unit;
    }
    const std::uint64_t total = starts.back();
    const std::uint64_t stretch = (total / unit + threads - 1) / threads * unit;
    std::atomic<bool> failed = false;
    on_threads(
        threads,
        [&](unsigned t) {
            std::uint64_t at = std::min(total, stretch * t);
            const std::uint64_t end = std::min(total, at + stretch);
            // The range that holds byte `at` of the output.
            auto r = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), at) -
                                              starts.begin() - 1);
            // A MiB at a time, swapped into the host's order while it is in the cache.
            constexpr std::uint64_t chunk = std::uint64_t{1} << 20;
            std::vector<char> spaced; // values `step` apart, as read
            while (at < end && !failed && !m.stopped()) {
                const std::uint64_t in_range = at - starts[r];
                const std::uint64_t left = std::min(end, starts[r + 1]) - at;
                std::uint64_t n = 0, span = 0;
                if (step == 1) {
                    n = span = std::min(chunk, left);
                    if (!read_at(fd, out + at, n, ranges[r].first + in_range)) {
                        failed = true;
                        break;
                    }
                } else {
                    const std::uint64_t count =
                        std::clamp<std::uint64_t>(chunk / unit / step, 1, left / unit);
                    n = count * unit;
                    span = ((count - 1) * step + 1) * unit;
                    spaced.resize(span);
                    if (!read_at(fd, spaced.data(), span, ranges[r].first + in_range * step)) {
                        failed = true;
                        break;
                    }
                    for (std::uint64_t c = 0; c < count; ++c) {
                        std::memcpy(out + at + c * unit, spaced.data() + c * step * unit, unit);
                    }
                }
                if (swap) {
                    swap_each(out + at, n / size, size);
                }
                at += n;
                r += at == starts[r + 1] ? 1 : 0;
                m.add(span);
            }
        },
        m.teller(), how.start);
    m.tell();
    return !failed;
}

// Hands `word(begin, end, offset)` every word of text that starts in [from, to) of the file:
// the one that the byte before `from` is part of belongs to the stretch before (`first` is where
// the text starts), and the last may run past `to`, up to `limit`. A word is shown its first
// max_word + 1 bytes at most. `whole(begin, end)` may take a word first, as it reads it: it
// returns where the word ends, before `end` (a blank), or none to leave it to `word`. The bytes
// read are counted on `m`, which may stop the reading. False when the file cannot be read.
template <typename F, typename W>
bool words_in(int fd, std::uint64_t first, std::uint64_t from, std::uint64_t to,
              std::uint64_t limit, const F& word, const W& whole, meter& m) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{1} << 20, limit - from + 1));
    std::unique_ptr<char[]> buffer(new char[chunk]);
    // A word that the last block ended in: its start, where it starts, and whether it is kept
    // (not the one of the stretch before).
    std::string carried;
    std::uint64_t carried_at = 0;
    bool in_word = false, keep = false;
    if (from > first) {
        char before = 0;
        if (!read_at(fd, &before, 1, from - 1)) {
            return false;
        }
        in_word = !legacy::is_blank(before);
    }
    std::uint64_t pos = from;
    while (pos < limit) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, limit - pos));
        if (!read_at(fd, buffer.get(), n, pos)) {
            return false;
        }
        if (!m.add(std::min<std::uint64_t>(n, to > pos ? to - pos : 0))) {
            return true;
        }
        const char* p = buffer.get();
        const char* const end = p + n;
        if (in_word) {
            const char* q = p;
            while (q < end && !legacy::is_blank(*q)) {
                ++q;
            }
            if (keep && carried.size() <= max_word) {
                carried.append(
                    p, std::min(static_cast<std::size_t>(q - p), max_word + 1 - carried.size()));
            }
            p = q;
            if (q == end) {
                pos += n;
                continue;
            }
            if (keep) {
                word(carried.data(), carried.data() + carried.size(), carried_at);
            }
            in_word = false;
        }
        for (;;) {
            while (p < end && legacy::is_blank(*p)) {
                ++p;
            }
            const std::uint64_t at = pos + static_cast<std::uint64_t>(p - buffer.get());
            if (p == end) {
                break;
            }
            if (at >= to) {
                return true;
            }
            if (const char* q = whole(p, end)) {
                p = q;
                continue;
            }
            const char* q = p;
            while (q < end && !legacy::is_blank(*q)) {
                ++q;
            }
            if (q == end && pos + n < limit) {
                carried.assign(p, std::min(static_cast<std::size_t>(q - p), max_word + 1));
                carried_at = at;
                in_word = keep = true;
                break;
            }
            word(p, std::min(q, p + max_word + 1), at);
            p = q;
        }
        pos += n;
    }
    if (in_word && keep) {
        word(carried.data(), carried.data() + carried.size(), carried_at);
    }
    return true;
}

// Where the text values of the samples go: the index of each in the output, or none outside the
// part.
class text_places {
  public:
    text_places(const volume& v, const sampling& part)
        : part_(part.box), rate_(part.rate), nx_(v.model.dimensions[0]), ny_(v.model.dimensions[1]),
          components_(v.samples().components), points_(v.model.points()),
          values_(static_cast<std::uint64_t>(
              std::min<legacy::uint128>(points_ * components_, ~std::uint64_t{0}))),
          whole_(part.box == v.whole() && part.rate == rates{1, 1, 1}),
          wx_(static_cast<std::uint64_t>(part.count(0))),
          wy_(static_cast<std::uint64_t>(part.count(1))) {}

    std::optional<std::uint64_t> of(std::uint64_t index) const {
        if (whole_) {
            // The whole grid, the common case: each value goes where it comes.
            return index < values_ ? std::optional<std::uint64_t>(index) : std::nullopt;
        }
        const std::uint64_t point = index / components_;
        if (point >= points_) {
            return std::nullopt;
        }
        const auto i = static_cast<int>(point % nx_);
        const auto j = static_cast<int>(point / nx_ % ny_);
        const auto k = static_cast<int>(point / nx_ / ny_);
        if (i < part_[0] || i > part_[1] || j < part_[2] || j > part_[3] || k < part_[4] ||
            k > part_[5] || (i - part_[0]) % rate_[0] != 0 || (j - part_[2]) % rate_[1] != 0 ||
            (k - part_[4]) % rate_[2] != 0) {
            return std::nullopt;
        }
        return (static_cast<std::uint64_t>((i - part_[0]) / rate_[0]) +
                wx_ * (static_cast<std::uint64_t>((j - part_[2]) / rate_[1]) +
                       wy_ * static_cast<std::uint64_t>((k - part_[4]) / rate_[2]))) *
                   components_ +
               index % components_;
    }

  private:
    extent part_;
    rates rate_;
    std::uint64_t nx_, ny_, components_;
    legacy::uint128 points_;
    std::uint64_t values_; // in the whole grid
    bool whole_;
    std::uint64_t wx_, wy_; // the output's points along x and y
};

// What a thread found in its stretch of text.
struct text_stretch {
    std::uint64_t words = 0;
    std::uint64_t bad = 0, first_bad_at = 0;
    std::string first_bad;
};

std::string read_text(const volume& v, int fd, const sampling& part, char* out,
                      std::uint64_t& bytes_read, const reading& how) {
    const array_info& a = v.samples();
    const std::uint64_t first = a.offset, limit = a.offset + a.bytes;
    const bool colours = a.kind == attribute::color_scalars;
    const bool reals = colours || a.type->kind == number_kind::floating;
    const unsigned stored = a.type->kind == number_kind::bit ? 1 : a.type->size;
    const text_places places(v, part);
    // The stretches start at the marks that the parser left, each where a word starts whose
    // index it knows, about as long as each other.
    const std::vector<array_info::mark>& marks = a.marks;
    const auto most = static_cast<unsigned>(
        std::min<std::uint64_t>(threads_for(how, a.bytes), std::max<std::size_t>(marks.size(), 1)));
    std::vector<array_info::mark> starts{{first, 0}};
    for (unsigned t = 1; t < most; ++t) {
        const std::uint64_t wanted = first + a.bytes / most * t;
        const auto m = std::lower_bound(
            marks.begin(), marks.end(), wanted,
            [](const array_info::mark& k, std::uint64_t at) { return k.offset < at; });
        if (m != marks.end() && m->offset > starts.back().offset) {
            starts.push_back(*m);
        }
    }
    const auto threads = static_cast<unsigned>(starts.size());
    std::vector<text_stretch> found(threads);
    std::atomic<bool> failed = false;
    meter m(how, a.bytes);
    on_threads(
        threads,
        [&](unsigned t) {
            std::uint64_t index = starts[t].index;
            text_stretch& mine = found[t];
            const std::uint64_t to = t + 1 < threads ? starts[t + 1].offset : limit;
            const bool read = words_in(
                fd, first, starts[t].offset, to, limit,
                [&](const char* begin, const char* end, std::uint64_t offset) {
                    const std::optional<std::uint64_t> at = places.of(index++);
                    if (at &&
                        !legacy::store_text_value(*a.type, colours, begin, end,
                                                  out + *at * stored) &&
                        mine.bad++ == 0) {
                        mine.first_bad.assign(begin, end);
                        mine.first_bad_at = offset;
                    }
                },
                // Most values are plain decimals or integers, read here as the word is found.
                [&](const char* begin, const char* end) -> const char* {
                    double real = 0;
                    legacy::integer_word integer{};
                    const char* const stop = reals ? legacy::plain_decimal(begin, end, real)
                                                   : legacy::plain_integer(begin, end, integer);
                    if (stop == nullptr || stop == end || !legacy::is_blank(*stop)) {
                        return nullptr;
                    }
                    if (const std::optional<std::uint64_t> at = places.of(index++)) {
                        char* const place = out + *at * stored;
                        if (reals) {
                            legacy::store_real(*a.type, colours, real, place);
                        } else {
                            legacy::store_integer(*a.type, integer, place);
                        }
                    }
                    return stop;
                },
                m);
            failed = failed || !read;
            mine.words = index;
        },
        m.teller(), how.start);
    m.tell();
    if (failed) {
        return v.header_path + ": samples: error reading " + v.samples_path;
    }
    if (m.stopped()) {
        return stopped;
    }
    bytes_read += a.bytes;
    // The words that are no numbers, and the numbers, counted as voxinfo counts them.
    legacy::bad_words bad;
    for (const text_stretch& f : found) {
        if (f.bad > 0 && bad.count == 0) {
            bad.note(f.first_bad.data(), f.first_bad.data() + f.first_bad.size(), f.first_bad_at);
            bad.count = 0;
        }
        bad.count += f.bad;
    }
    const std::uint64_t numbers = found.back().words - bad.count; // the index after the last word
    if (numbers < v.model.points() * a.components) {
        return v.header_path + ": " + legacy::samples_count_problem(v.model, numbers);
    }
    if (bad.count > 0) {
        return v.header_path + ": " + legacy::not_numbers_problem("samples", bad, a.type_word);
    }
    return {};
}

// Bits are packed eight to a byte, the first in the highest bit: the bytes from the first value
// of the part to its last, read at once.
std::string read_bits(const volume& v, int fd, const sampling& part, char* out,
                      std::uint64_t& bytes_read) {
    const array_info& a = v.samples();
    const std::uint64_t nx = v.model.dimensions[0], ny = v.model.dimensions[1];
    const auto index = [&](int i, int j, int k) {
        return (static_cast<std::uint64_t>(i) +
                nx * (static_cast<std::uint64_t>(j) + ny * static_cast<std::uint64_t>(k))) *
               a.components;
    };
    const extent& box = part.box;
    const auto last_of = [&](std::size_t axis) {
        return box[2 * axis] + (part.count(axis) - 1) * part.rate[axis];
    };
    const std::uint64_t first = index(box[0], box[2], box[4]);
    const std::uint64_t last = index(last_of(0), last_of(1), last_of(2)) + a.components - 1;
    const std::uint64_t from_byte = first / 8, size = last / 8 - first / 8 + 1;
    std::string bytes(size, '\0');
    if (!read_at(fd, bytes.data(), size, v.samples_offset + from_byte)) {
        return v.header_path + ": samples: error reading " + v.samples_path;
    }
    bytes_read += size;
    char* to = out;
    for (int k = box[4]; k <= box[5]; k += part.rate[2]) {
        for (int j = box[2]; j <= box[3]; j += part.rate[1]) {
            for (int i = box[0]; i <= box[1]; i += part.rate[0]) {
                for (std::uint64_t n = index(i, j, k); n < index(i, j, k) + a.components; ++n) {
                    const auto byte = static_cast<unsigned char>(bytes[n / 8 - from_byte]);
                    *to++ = static_cast<char>((byte >> (7 - n % 8)) & 1);
                }
            }
        }
    }
    return {};
}

std::string read_any(const volume& v, int fd, const sampling& part, char* out,
                     std::uint64_t& bytes_read, const reading& how) {
    const array_info& a = v.samples();
    const type_info& type = *a.type;
    if (v.model.coding == encoding::ascii) {
        return read_text(v, fd, part, out, bytes_read, how);
    }
    if (type.kind == number_kind::bit) {
        return read_bits(v, fd, part, out, bytes_read);
    }
    const auto ranges = byte_ranges(v, part);
    std::uint64_t total = 0;
    for (const auto& range : ranges) {
        total += range.second;
    }
    const unsigned unit = type.size * a.components;
    const std::uint64_t output = part.points() * unit;
    const unsigned threads = threads_for(how, output);
    if (threads > 1 && how.huge_pages) {
        advise_huge_pages(out, output);
    }
    meter m(how, total);
    if (!read_binary(fd, ranges, out, unit, type.size, v.little_endian_samples != host_little,
                     static_cast<unsigned>(part.rate[0]), threads, m, how)) {
        return v.header_path + ": samples: error reading " + v.samples_path;
    }
    if (m.stopped()) {
        return stopped;
    }
    bytes_read += total;
    return {};
}

// The mappings that map_samples made: where each starts and its length, by the samples' address.
struct mappings {
    std::mutex mutex;
    std::map<void*, std::pair<void*, std::size_t>> by_data;
};

// Never destroyed: an array may be released after the statics of the program are gone.
mappings& all_mappings() {
    static auto* all = new mappings;
    return *all;
}

} // namespace

std::string read_samples(const volume& v, const extent& part, char* out, std::uint64_t& bytes_read,
                         const reading& how) {
    return read_samples(v, sampling{part}, out, bytes_read, how);
}

std::string read_samples(const volume& v, const sampling& part, char* out,
                         std::uint64_t& bytes_read, const reading& how) {
    file from(v.samples_path);
    if (from.fd < 0) {
        return v.samples_path + ": cannot be opened (" + std::strerror(errno) + ")";
    }
    try {
        return read_any(v, from.fd, part, out, bytes_read, how);
    } catch (const std::bad_alloc&) {
        return v.header_path + ": samples: out of memory while reading";
    } catch (const std::exception& error) {
        return v.header_path + ": samples: " + error.what();
    }
}

char* map_samples(const volume& v, const sampling& part) {
    const array_info& a = v.samples();
    const extent& box = part.box;
    const extent whole = v.whole();
    // One run of bytes: whole rows unless a single one, whole slices unless a single one.
    const bool one_run =
        (box[0] == whole[0] && box[1] == whole[1]) || (box[2] == box[3] && box[4] == box[5]);
    const bool whole_slices = (box[2] == whole[2] && box[3] == whole[3]) || box[4] == box[5];
    if (v.model.coding == encoding::ascii || a.type->kind == number_kind::bit ||
        (a.type->size > 1 && v.little_endian_samples != host_little) ||
        part.rate != rates{1, 1, 1} || !one_run || !whole_slices) {
        return nullptr;
    }
    const std::uint64_t point = std::uint64_t{a.type->size} * a.components;
    const std::uint64_t nx = v.model.dimensions[0], ny = v.model.dimensions[1];
    const std::uint64_t at =
        v.samples_offset +
        (static_cast<std::uint64_t>(box[0]) +
         nx * (static_cast<std::uint64_t>(box[2]) + ny * static_cast<std::uint64_t>(box[4]))) *
            point;
    if (at % a.type->size != 0) {
        return nullptr; // values that the host could not read in place
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t length = part.points() * point + at % page;
    file from(v.samples_path);
    if (from.fd < 0 || length > std::numeric_limits<std::size_t>::max()) {
        return nullptr;
    }
    void* base = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE, from.fd, static_cast<off_t>(at - at % page));
    if (base == MAP_FAILED) {
        return nullptr;
    }
    char* data = static_cast<char*>(base) + at % page;
    mappings& all = all_mappings();
    try {
        const std::lock_guard lock(all.mutex);
        all.by_data[data] = {base, static_cast<std::size_t>(length)};
    } catch (...) {
        ::munmap(base, static_cast<std::size_t>(length));
        return nullptr;
    }
    return data;
}

void unmap_samples(void* data) {
    mappings& all = all_mappings();
    const std::lock_guard lock(all.mutex);
    const auto found = all.by_data.find(data);
    if (found != all.by_data.end()) {
        ::munmap(found->second.first, found->second.second);
        all.by_data.erase(found);
    }
}

bool claims(const std::string& path) {
    file header(path);
    if (header.fd < 0) {
        return false;
    }
    legacy::fd_source from(header.fd);
    legacy::input in(from);
    std::string_view line;
    if (in.read_line(line) != legacy::line_status::ok || !legacy::magic_version(line)) {
        return false;
    }
    // The title, and the encoding line with a path in reference mode.
    std::string_view word;
    if (in.read_line(line) != legacy::line_status::ok ||
        in.read_word(word) != legacy::line_status::ok || !in.skip_line() ||
        in.read_word(word) != legacy::line_status::ok) {
        return false;
    }
    return !legacy::same_word(word, "DATASET");
}

} // namespace vox::view
