#include "target.hpp"

#include "input.hpp"
#include "parser.hpp"
#include "text.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::companion {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;
using legacy::grid_kind;

// The file's own words for why it cannot be read.
failure unreadable(const std::string& text) {
    return {failure::kind::unreadable, text};
}
failure inconsistent(const std::string& text) {
    return {failure::kind::inconsistent, text};
}

// The first of the problems that make any description of the grid untrue, in voxinfo's words.
std::string first_problem(const target& t, const legacy::samples_facts& s) {
    const legacy::file_model& m = t.model;
    for (const std::string& why : {legacy::positions_problem(m), legacy::point_data_problem(m),
                                   legacy::cell_data_problem(m)}) {
        if (!why.empty()) {
            return why;
        }
    }
    for (const array_info& a : m.arrays) {
        if (a.kind != attribute::coordinates) {
            continue;
        }
        if (std::string why = legacy::coordinates_count_problem(m, a); !why.empty()) {
            return why;
        }
        if (m.coding != encoding::ascii) {
            if (std::string why = legacy::length_problem(m, a.keyword, a, a.tuples, a.bytes, 0);
                !why.empty()) {
                return why;
            }
        }
    }
    if (std::string why = legacy::reference_problem(m, s); !why.empty()) {
        return why;
    }
    if (m.coding == encoding::ascii) {
        return legacy::samples_count_problem(m, m.arrays[s.index].words);
    }
    if (s.bytes_needed && s.bytes_found != *s.bytes_needed) {
        return legacy::samples_length_problem(
            m, s.bytes_found, m.coding == encoding::binary_file ? " in " + s.path : "");
    }
    return legacy::trailing_problem(m);
}

// Whether a slice stack's locations step evenly: then it is a uniform grid, with their first
// as the z origin and their step as the z spacing. Evenly means within a few units of the last
// place of the values' precision (floats, or doubles), and the step is written as the shortest
// decimal that keeps every location that close.
bool even_steps(const std::vector<double>& z, bool single, double& origin, double& step) {
    origin = z.empty() ? 0 : z.front();
    step = 1;
    if (z.size() < 2) {
        return true;
    }
    const auto n = static_cast<double>(z.size() - 1);
    step = (z.back() - z.front()) / n;
    const double scale = std::max({std::fabs(z.front()), std::fabs(z.back()), std::fabs(step)});
    const double tolerance = scale * (single ? 5e-7 : 1e-12);
    const auto even = [&](double s) {
        for (std::size_t i = 0; i < z.size(); ++i) {
            if (std::fabs(z[i] - (z.front() + static_cast<double>(i) * s)) > tolerance) {
                return false;
            }
        }
        return true;
    };
    if (!even(step)) {
        return false;
    }
    for (int digits = 1; digits < 17; ++digits) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*g", digits, step);
        const double shorter = std::strtod(text, nullptr);
        if (even(shorter)) {
            step = shorter;
            break;
        }
    }
    return true;
}

// Keeps the coordinate arrays, and takes the samples where they are text (which the parser
// reads through in any case); binary samples are passed over unread.
class gatherer final : public legacy::value_provider {
  public:
    legacy::value_sink* values_of(const legacy::file_model& model,
                                  const array_info& array) override {
        const bool samples = model.samples && *model.samples == model.arrays.size() - 1;
        if (samples && model.coding == encoding::ascii && array.type != nullptr) {
            text_samples = std::make_unique<legacy::sample_sink>(*array.type, true);
            return text_samples.get();
        }
        return coordinates.values_of(model, array);
    }
    legacy::coordinate_keeper coordinates;
    std::unique_ptr<legacy::sample_sink> text_samples;
};

} // namespace

failure read_target(const std::string& path, byte_order order, target& t) {
    t = target{};
    t.path = path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return unreadable(std::string("cannot be opened (") + std::strerror(errno) + ")");
    }
    legacy::fd_source from(fd);
    gatherer gathered;
    const legacy::parse_result parsed = legacy::parse(from, t.model, &gathered);
    const legacy::coordinate_keeper& kept = gathered.coordinates;
    ::close(fd);
    switch (parsed.failed) {
    case legacy::parse_result::failure::none:
        break;
    case legacy::parse_result::failure::reading:
        return unreadable("error reading the file");
    case legacy::parse_result::failure::layout:
        return unreadable("not in the legacy layout: " + parsed.message);
    case legacy::parse_result::failure::refused:
        return unreadable("not read: " + parsed.message);
    }
    const legacy::file_model& m = t.model;
    const legacy::file_facts facts = legacy::derive(
        m, path,
        order == byte_order::automatic ? legacy::deriving::byte_order : legacy::deriving::header);
    if (!facts.samples) {
        return unreadable("no samples: no SCALARS in POINT_DATA");
    }
    const legacy::samples_facts& s = *facts.samples;
    if (const std::string why = first_problem(t, s); !why.empty()) {
        return inconsistent(why);
    }
    t.dimensions = m.dimensions;
    t.text = m.coding == encoding::ascii;
    const array_info& a = m.arrays[s.index];
    t.components = a.components;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (const std::string why = legacy::grid_lines(m, axis, kept, order, t.lines[axis]);
            !why.empty()) {
            return inconsistent(why);
        }
    }
    for (const array_info& c : m.arrays) {
        const legacy::coordinate_values* values = kept.of(c.axis);
        if (c.kind != attribute::coordinates || t.text || values == nullptr) {
            continue;
        }
        t.line_values[c.axis] = place{path, c.offset, c.type, c.type_word,
                                      legacy::coordinates_little_endian(*values, order)};
    }
    t.spacing = m.spacing;
    t.origin = m.origin;
    t.uniform = m.grid == grid_kind::uniform;
    if (m.grid == grid_kind::slice_stack) {
        const std::optional<place>& z = t.line_values[2];
        t.single[2] = z && z->type->size == 4 && z->type->kind == legacy::number_kind::floating;
        t.uniform = even_steps(t.lines[2], t.single[2], t.origin[2], t.spacing[2]);
    }
    t.samples.path = s.path;
    t.samples.offset = s.offset;
    t.samples.type = a.type;
    t.samples.type_word = a.type_word;
    if (gathered.text_samples) {
        t.samples_not_finite = gathered.text_samples->not_finite() > 0 ||
                               gathered.text_samples->not_read_by_vtk().count > 0;
    }
    struct stat st {};
    t.samples_end_file = !t.text && s.bytes_needed && ::stat(s.path.c_str(), &st) == 0 &&
                         static_cast<legacy::uint128>(st.st_size) == s.offset + *s.bytes_needed;
    if (!t.text) {
        const std::optional<bool> little = legacy::samples_little_endian(s, order);
        if (!little) {
            return unreadable("samples: error reading " + s.path);
        }
        t.samples.little_endian = *little;
        t.order_note = legacy::order_note(s);
    }
    return {};
}

} // namespace vox::companion
