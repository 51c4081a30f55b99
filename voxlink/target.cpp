#include "target.hpp"

#include "checks.hpp"
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

// The first of the problems that voxinfo finds in the file, in its words: any of them makes a
// description of the grid untrue.
std::string first_problem(const legacy::file_contents& file) {
    for (const legacy::finding& f : legacy::check(file)) {
        if (f.what == legacy::finding::kind::problem) {
            return f.text;
        }
    }
    return {};
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

} // namespace

failure read_target(const std::string& path, byte_order order, target& t) {
    t = target{};
    t.path = path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return unreadable(std::string("cannot be opened (") + std::strerror(errno) + ")");
    }
    legacy::fd_source from(fd);
    // Text values are read as the parser passes them, binary ones (but coordinates) not at all.
    legacy::file_contents file;
    legacy::gatherer gathered(file, false);
    const legacy::parse_result parsed = legacy::parse(from, file.model, &gathered);
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
    file.values.resize(file.model.arrays.size());
    file.facts = legacy::derive(file.model, path,
                                order == byte_order::automatic ? legacy::deriving::byte_order
                                                               : legacy::deriving::header);
    if (!file.facts.samples) {
        return unreadable("no samples: no SCALARS in POINT_DATA");
    }
    if (file.model.coding == encoding::binary_file) {
        legacy::look_at_reference(file, false);
    }
    if (const std::string why = first_problem(file); !why.empty()) {
        return inconsistent(why);
    }
    t.model = file.model;
    const legacy::file_model& m = t.model;
    const legacy::samples_facts& s = *file.facts.samples;
    const legacy::coordinate_keeper& kept = file.coordinates;
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
    if (const legacy::sample_sink* text = file.values[s.index].get(); t.text && text != nullptr) {
        t.samples_not_finite = text->not_finite() > 0 || text->not_read_by_vtk().count > 0;
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
