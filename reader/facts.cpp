#include "facts.hpp"

#include "keywords.hpp"
#include "reference.hpp"
#include "text.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::legacy {

namespace {

constexpr bool host_little = std::endian::native == std::endian::little;
// The byte order is judged from this many blocks of this many bytes: the first, and the others
// evenly spaced through the payload up to its end.
constexpr std::uint64_t judged_blocks = 64;
constexpr std::uint64_t judged_block = std::uint64_t{64} << 10;

std::string dimensions_text(const file_model& m) {
    return to_text(m.dimensions[0]) + " x " + to_text(m.dimensions[1]) + " x " +
           to_text(m.dimensions[2]);
}

// Judges the byte order of the binary samples `s` from blocks of them.
order_judgement judge(const type_info& type, const samples_facts& s) {
    order_judgement j;
    const std::uint64_t available = static_cast<std::uint64_t>(
        std::min<uint128>(*s.bytes_needed, s.bytes_found) / type.size * type.size);
    const std::uint64_t block = judged_block / type.size * type.size;
    // Blocks are read at their offsets, which only a regular file has.
    struct stat st {};
    if (::stat(s.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        j.why_unknown = "the samples are not in a regular file";
        return j;
    }
    const int fd = ::open(s.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        j.read_failed = true;
        return j;
    }
    order_evidence evidence(type);
    std::string bytes(static_cast<std::size_t>(std::min(block, available)), '\0');
    // Few enough values are read whole, one block after the other.
    const bool whole = available <= block * judged_blocks;
    const std::uint64_t count = whole ? (available + block - 1) / block : judged_blocks;
    for (std::uint64_t i = 0; i < count && !j.read_failed; ++i) {
        const std::uint64_t at =
            whole ? i * block : (available - block) / (count - 1) * i / type.size * type.size;
        const std::uint64_t size = std::min(block, available - at);
        j.read_failed = !read_at(fd, bytes.data(), size, s.offset + at);
        evidence.block(bytes.data(), static_cast<std::size_t>(size));
    }
    ::close(fd);
    j.order = j.read_failed ? order_evidence::verdict::unknown : evidence.judged();
    if (j.read_failed) {
        j.why_unknown = "error reading " + s.path;
    } else if (j.order == order_evidence::verdict::unknown) {
        j.why_unknown = evidence.why_unknown();
    }
    return j;
}

} // namespace

file_facts derive(const file_model& m, const std::string& header_path, deriving what) {
    file_facts f;
    if (!m.samples) {
        return f;
    }
    samples_facts& s = f.samples.emplace();
    const array_info& a = m.arrays[*m.samples];
    s.index = *m.samples;
    s.values = m.points() * a.components;
    if (m.coding != encoding::ascii && a.type != nullptr) {
        s.bytes_needed =
            a.type->kind == number_kind::bit ? (s.values + 7) / 8 : s.values * a.type->size;
    }
    const bool ordered = what == deriving::byte_order && a.type != nullptr &&
                         a.type->kind != number_kind::bit && a.type->size > 1;
    if (m.coding != encoding::binary_file) {
        s.path = header_path;
        s.offset = a.offset;
        s.bytes_found = a.bytes;
        if (ordered && m.coding == encoding::binary) {
            s.judged = judge(*a.type, s);
        }
        return f;
    }
    const reference_place place = find_reference(m.reference, header_path);
    s.path = place.path;
    s.only_beside = place.only_beside;
    s.error = place.error;
    if (place.path.empty()) {
        s.named = samples_facts::reference::missing;
        return f;
    }
    if (!place.regular) {
        s.named = samples_facts::reference::not_regular;
        return f;
    }
    s.named = samples_facts::reference::found;
    struct stat st {};
    if (::stat(place.path.c_str(), &st) == 0) {
        s.bytes_found = static_cast<std::uint64_t>(st.st_size);
    }
    if (ordered) {
        s.judged = judge(*a.type, s);
    }
    return f;
}

std::string point_data_problem(const file_model& m) {
    if (!m.point_data || *m.point_data == m.points()) {
        return {};
    }
    return std::string(keyword::point_data) + " is " + to_text(*m.point_data) + ", expected " +
           to_text(m.points()) + " (" + dimensions_text(m) + ")";
}

std::string cell_data_problem(const file_model& m) {
    if (!m.cell_data || *m.cell_data == m.cells()) {
        return {};
    }
    return std::string(keyword::cell_data) + " is " + to_text(*m.cell_data) + ", expected " +
           to_text(m.cells()) + " (the cells of " + dimensions_text(m) + ")";
}

std::string reference_problem(const file_model& m, const samples_facts& s) {
    switch (s.named) {
    case samples_facts::reference::missing:
        return "samples: the referenced file " + m.reference + " is not found (" +
               std::strerror(s.error) + ")";
    case samples_facts::reference::not_regular:
        return "samples: the referenced file " + s.path + " is not a regular file";
    default:
        return {};
    }
}

std::string samples_count_problem(const file_model& m, std::uint64_t found) {
    const array_info& a = m.arrays[*m.samples];
    const uint128 count = m.points() * a.components;
    if (found == count) {
        return {};
    }
    const std::string of_points =
        a.components == 1 ? " (the points)" : " (the points x " + to_text(a.components) + ")";
    return "samples: expected " + plural(count, "number", "numbers") + of_points + ", found " +
           to_text(found);
}

std::string not_numbers_problem(const std::string& name, const bad_words& bad,
                                const std::string& type_word) {
    if (bad.count == 0) {
        return {};
    }
    return name + ": " + plural(bad.count, "word is", "words are") + " not a number" +
           (type_word.empty() ? "" : " of type " + type_word) + ", the first " + shown(bad.first) +
           " at byte " + to_text(bad.first_at);
}

std::string samples_length_problem(const file_model& m, std::uint64_t found,
                                   const std::string& where) {
    const array_info& a = m.arrays[*m.samples];
    const type_info* type = a.type;
    if (m.coding == encoding::ascii || type == nullptr) {
        return {};
    }
    const uint128 points = m.points();
    const uint128 count = points * a.components;
    const uint128 expected = type->kind == number_kind::bit ? (count + 7) / 8 : count * type->size;
    if (found == expected) {
        return {};
    }
    std::string what = "samples" + where + ": expected " + to_text(expected) + " bytes (" +
                       to_text(points) + " points x " +
                       (a.components == 1 ? "" : to_text(a.components) + " x ") +
                       plural(type->size, "byte", "bytes") + " of " + a.type_word + "), found " +
                       to_text(found) + (found < expected ? " (too few)" : " (too many)");
    // A wrong type word, or else a wrong z dimension: say what the length would fit.
    std::string sizes;
    for (const unsigned size : {1U, 2U, 4U, 8U}) {
        if (count != 0 && found == count * size) {
            sizes = "; that is " + plural(size, "byte", "bytes") + " a point, the size of " +
                    type_words_of_size(size);
        }
    }
    const uint128 slice = uint128{m.dimensions[0]} * m.dimensions[1] * a.components * type->size;
    if (sizes.empty() && slice != 0 && found % slice == 0) {
        const uint128 slices = found / slice;
        what += "; that is " + to_text(slices) + (slices == 1 ? " slice of " : " slices of ") +
                to_text(m.dimensions[0]) + " x " + to_text(m.dimensions[1]);
    }
    return what + sizes;
}

std::string real_text(const file_model& m, int which, std::size_t axis) {
    const std::string key =
        which == 0 ? (m.spacing_keyword.empty() ? std::string(keyword::spacing) : m.spacing_keyword)
                   : std::string(keyword::origin);
    const double v = (which == 0 ? m.spacing : m.origin)[axis];
    return key + ": the " + "xyz"[axis] + (which == 0 ? " spacing is " : " origin is ") +
           format_number(v);
}

std::string positions_problem(const file_model& m) {
    if (m.grid == grid_kind::rectilinear) {
        return {};
    }
    for (int which = 0; which < 2; ++which) {
        for (std::size_t axis = 0; axis < m.reals; ++axis) {
            if (!std::isfinite((which == 0 ? m.spacing : m.origin)[axis])) {
                return real_text(m, which, axis) + "; the points have no position";
            }
        }
    }
    return {};
}

std::string trailing_problem(const file_model& m) {
    if (m.coding != encoding::binary_file || m.trailing == 0) {
        return {};
    }
    return std::string(keyword::binary_file) + ": " +
           plural(m.trailing, "byte follows", "bytes follow") + " the " + keyword::lookup_table +
           " line, expected none (the samples are in " + m.reference + ")";
}

std::string coordinates_count_problem(const file_model& m, const array_info& a) {
    if (a.tuples == m.dimensions[a.axis]) {
        return {};
    }
    return a.keyword + ": the line says " + to_text(a.tuples) + " values, expected " +
           to_text(m.dimensions[a.axis]) + " (the " + "xyz"[a.axis] + " dimension)";
}

std::string length_problem(const file_model& m, const std::string& name, const array_info& a,
                           uint128 expected_values, std::uint64_t bytes, std::uint64_t numbers,
                           const std::string& of_what) {
    if (m.coding == encoding::ascii) {
        if (numbers == expected_values) {
            return {};
        }
        return name + ": expected " + plural(expected_values, "number", "numbers") + of_what +
               ", found " + to_text(numbers);
    }
    if (a.type == nullptr) {
        return {};
    }
    const uint128 expected = a.type->kind == number_kind::bit ? (expected_values + 7) / 8
                                                              : expected_values * a.type->size;
    if (bytes == expected) {
        return {};
    }
    return name + ": expected " + to_text(expected) + " bytes (" + to_text(expected_values) +
           " x " + to_text(a.type->size) + "), found " + to_text(bytes) +
           (bytes < expected ? " (too few)" : " (too many)");
}

std::optional<bool> samples_little_endian(const samples_facts& s, byte_order order) {
    if (order != byte_order::automatic) {
        return order == byte_order::little_endian;
    }
    if (s.judged && s.judged->read_failed) {
        return std::nullopt;
    }
    return s.judged && s.judged->order == order_evidence::verdict::little_endian;
}

std::string order_note(const samples_facts& s) {
    if (!s.judged) {
        return {};
    }
    switch (s.judged->order) {
    case order_evidence::verdict::little_endian:
        return "the samples look little-endian; taken so";
    case order_evidence::verdict::big_endian:
        return "the samples look big-endian; taken so";
    case order_evidence::verdict::unknown:
        break;
    }
    return "the byte order of the samples is unknown: " + s.judged->why_unknown +
           "; taken as big-endian, as the layout declares";
}

std::string numpy_dtype(const type_info& type, bool little_endian) {
    const char kinds[] = {'i', 'u', 'f'};
    if (type.kind == number_kind::bit) {
        return {};
    }
    const char order = type.size == 1 ? '|' : little_endian ? '<' : '>';
    return std::string{order, kinds[static_cast<int>(type.kind)]} + to_text(type.size);
}

std::size_t coordinate_values::take(const char* data, std::size_t size, std::uint64_t offset,
                                    bool last) {
    const std::size_t took = judge_.take(data, size, offset, last);
    bytes_.append(data, took);
    return took;
}

void coordinate_values::word(const char* begin, const char* end, std::uint64_t offset) {
    judge_.word(begin, end, offset);
    double v = 0;
    words_.push_back(parse_real(begin, end, v) ? v : std::nan(""));
}

value_sink* coordinate_keeper::values_of(const file_model& model, const array_info& array) {
    if (array.kind != attribute::coordinates) {
        return nullptr;
    }
    auto& kept = kept_[array.axis];
    kept = std::make_unique<coordinate_values>(array.type, model.coding == encoding::ascii);
    return kept.get();
}

bool coordinates_little_endian(const coordinate_values& kept, byte_order order) {
    return order == byte_order::little_endian ||
           (order == byte_order::automatic && kept.judged().looks_swapped());
}

std::string grid_lines(const file_model& m, std::size_t axis, const coordinate_keeper& kept,
                       byte_order order, std::vector<double>& out) {
    out.clear();
    const std::uint64_t count = m.dimensions[axis];
    if (m.grid == grid_kind::uniform) {
        return {};
    }
    if (m.grid == grid_kind::slice_stack && axis < 2) {
        out.resize(count);
        for (std::uint64_t i = 0; i < count; ++i) {
            out[i] = m.origin[axis] + static_cast<double>(i) * m.spacing[axis];
        }
        return {};
    }
    const auto found = std::find_if(m.arrays.begin(), m.arrays.end(), [axis](const array_info& c) {
        return c.kind == attribute::coordinates && c.axis == axis;
    });
    const coordinate_values* values = kept.of(axis);
    if (found == m.arrays.end() || values == nullptr) {
        return std::string("no ") + "XYZ"[axis] + " coordinates";
    }
    const array_info& a = *found;
    const std::string& name = a.keyword;
    if (m.coding == encoding::ascii) {
        if (values->words().size() < count) {
            return name + ": expected " + plural(count, "number", "numbers") + ", found " +
                   to_text(values->words().size());
        }
        out.assign(values->words().begin(), values->words().begin() + static_cast<long>(count));
    } else {
        if (a.type == nullptr || a.type->kind == number_kind::bit) {
            return name + ": values of type " + a.type_word + " are no positions";
        }
        const std::uint64_t expected = count * a.type->size;
        if (values->bytes().size() < expected) {
            return name + ": expected " + to_text(expected) + " bytes (" + to_text(count) + " x " +
                   to_text(a.type->size) + "), found " + to_text(values->bytes().size()) +
                   " (too few)";
        }
        std::string bytes = values->bytes().substr(0, expected);
        if (coordinates_little_endian(*values, order) != host_little) {
            swap_each(bytes.data(), count, a.type->size);
        }
        out.resize(count);
        for (std::uint64_t i = 0; i < count; ++i) {
            out[i] = value_of(*a.type, bytes.data() + i * a.type->size);
        }
    }
    if (std::any_of(out.begin(), out.end(), [](double x) { return !std::isfinite(x); })) {
        return name + ": a position is not a finite number";
    }
    return {};
}

} // namespace vox::legacy
