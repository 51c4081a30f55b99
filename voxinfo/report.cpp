#include "report.hpp"

#include "keywords.hpp"

namespace vox::info {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;

const char* const axis_names[] = {"x", "y", "z"};

class reporter {
  public:
    reporter(const contents& file, const std::vector<finding>& findings)
        : file_(file), m_(file.model), findings_(findings) {}
    std::string run();

  private:
    void line(const std::string& key, const std::string& value) {
        text_ += "  " + key + ": " + printable(value) + "\n";
    }
    void kind_and_encoding();
    void grid();
    void extent();
    void samples();
    void byte_order();
    void other_arrays();
    void result();
    std::string range_of(const legacy::sample_sink& values) const;
    std::string description(const array_info& a) const;

    const contents& file_;
    const file_model& m_;
    const std::vector<finding>& findings_;
    std::string text_;
};

void reporter::kind_and_encoding() {
    if (m_.version != "2.0") {
        line("version", m_.version);
    }
    const char* const grid_names[] = {"uniform", "rectilinear", "slice stack"};
    line("grid", grid_names[static_cast<int>(m_.grid)]);
    switch (m_.coding) {
    case encoding::binary:
        line("encoding", std::string(keyword::binary) + ", samples embedded");
        break;
    case encoding::ascii:
        line("encoding", std::string(keyword::ascii) + ", samples embedded");
        break;
    case encoding::binary_file:
        line("encoding", std::string(keyword::binary_file) + ", samples in " + m_.reference);
        break;
    }
    if (m_.dataset != legacy::dataset_kind::none) {
        line("dataset", m_.dataset == legacy::dataset_kind::structured_points
                            ? keyword::structured_points
                            : keyword::rectilinear_grid);
    } else if (m_.coding == encoding::binary_file) {
        line("dataset", "none; VTK's legacy readers cannot read samples kept in another file");
    } else if (m_.grid == legacy::grid_kind::slice_stack) {
        line("dataset", "none; a slice stack has no standard dataset type, so VTK's legacy "
                        "readers cannot read it");
    } else {
        line("dataset", std::string("none; VTK's legacy readers need \"") + keyword::dataset + " " +
                            (m_.grid == legacy::grid_kind::uniform ? keyword::structured_points
                                                                   : keyword::rectilinear_grid) +
                            "\" after line 3");
    }
}

void reporter::grid() {
    line("dimensions", to_text(m_.dimensions[0]) + " " + to_text(m_.dimensions[1]) + " " +
                           to_text(m_.dimensions[2]));
    line("points", to_text(m_.points()));
    if (m_.grid != legacy::grid_kind::rectilinear) {
        std::string spacing, origin;
        for (std::size_t i = 0; i < m_.reals; ++i) {
            spacing += (i == 0 ? "" : " ") + legacy::format_number(m_.spacing[i]);
            origin += (i == 0 ? "" : " ") + legacy::format_number(m_.origin[i]);
        }
        line("spacing", spacing);
        line("origin", origin);
    }
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        const array_info& a = m_.arrays[i];
        if (a.kind != attribute::coordinates || file_.coordinates.of(a.axis) == nullptr) {
            continue;
        }
        const legacy::array_sink& values = file_.coordinates.of(a.axis)->judged();
        const std::string range =
            values.any() ? legacy::format_number(values.min(), values.single()) + " to " +
                               legacy::format_number(values.max(), values.single())
            : values.values() > 0 ? "none finite"
                                  : "none";
        line(m_.grid == legacy::grid_kind::slice_stack ? "z locations" : axis_names[a.axis],
             plural(values.values(), "value", "values") + ", " + range);
    }
}

void reporter::extent() {
    std::string extent;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        extent += axis == 0 ? "" : ", ";
        extent += axis_names[axis];
        const bool from_array = m_.grid == legacy::grid_kind::rectilinear ||
                                (m_.grid == legacy::grid_kind::slice_stack && axis == 2);
        if (from_array) {
            const legacy::array_sink* values = nullptr;
            for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
                if (m_.arrays[i].kind == attribute::coordinates && m_.arrays[i].axis == axis) {
                    values = &file_.coordinates.of(axis)->judged();
                }
            }
            extent += values != nullptr && values->any()
                          ? " " + legacy::format_number(values->min(), values->single()) + " to " +
                                legacy::format_number(values->max(), values->single())
                          : " none";
        } else if (m_.dimensions[axis] == 0) {
            extent += " none";
        } else {
            const double end = m_.origin[axis] + (m_.dimensions[axis] - 1.0) * m_.spacing[axis];
            extent +=
                " " + legacy::format_number(m_.origin[axis]) + " to " + legacy::format_number(end);
        }
    }
    line("extent", extent);
}

std::string reporter::range_of(const legacy::sample_sink& values) const {
    return values.range() +
           (values.not_finite() > 0 ? ", " + to_text(values.not_finite()) + " not finite" : "");
}

// The type of an array's values, its name where the file gives more than the converters write,
// and its components.
std::string reporter::description(const array_info& a) const {
    std::string text;
    if (a.keyword != keyword::scalars || a.name != keyword::scalars_name) {
        text += a.keyword + " " + a.name + ", ";
    }
    text += a.type_word;
    if (m_.coding == encoding::ascii) {
        text += " as text";
    } else {
        text += a.type == nullptr ? " (size unknown)"
                : a.type->kind == legacy::number_kind::bit
                    ? " (bits)"
                    : " (" + plural(a.type->size, "byte", "bytes") + ")";
    }
    if (a.components != 1) {
        text += ", " + to_text(a.components) + " components";
    }
    return text;
}

void reporter::samples() {
    if (!m_.samples) {
        line("samples", "none");
        return;
    }
    const std::size_t i = *m_.samples;
    const array_info& a = m_.arrays[i];
    const std::string what = description(a);
    if (m_.coding == encoding::ascii) {
        const legacy::sample_sink& values = *file_.values[i];
        line("samples", what + ", " + plural(values.values(), "number", "numbers") + " in " +
                            plural(a.bytes, "byte", "bytes") + " from byte " + to_text(a.offset));
        line("values", range_of(values));
        return;
    }
    if (m_.coding == encoding::binary) {
        line("samples",
             what + ", " + plural(a.bytes, "byte", "bytes") + " from byte " + to_text(a.offset));
        if (a.type != nullptr) {
            line("values", range_of(*file_.values[i]));
        }
        byte_order();
        return;
    }
    const referenced& ref = file_.reference;
    switch (ref.how) {
    case referenced::state::not_looked_at:
        line("samples", what + ", in " + m_.reference + " (not looked at)");
        return;
    case referenced::state::missing:
        line("samples", what + ", in " + m_.reference);
        return;
    case referenced::state::not_regular:
    case referenced::state::found: // voxinfo reads what it finds
    case referenced::state::not_opened:
        line("samples", what + ", in " + ref.path);
        return;
    case referenced::state::not_read:
    case referenced::state::read:
        break;
    }
    line("samples", what + ", " + plural(ref.values->bytes(), "byte", "bytes") + " in " + ref.path);
    if (ref.how == referenced::state::read && a.type != nullptr) {
        line("values", range_of(*ref.values));
    }
    byte_order();
}

void reporter::byte_order() {
    const auto& judged = file_.facts.samples->judged;
    if (!judged) {
        return;
    }
    const char* const orders[] = {"big-endian", "little-endian", "unknown"};
    line("byte order", std::string(orders[static_cast<int>(judged->order)]) +
                           (judged->order == legacy::order_evidence::verdict::unknown
                                ? ": " + judged->why_unknown + "; read as big-endian, as declared"
                                : ""));
}

void reporter::other_arrays() {
    const char* const sections[] = {"", "point", "cell", "dataset"};
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        const array_info& a = m_.arrays[i];
        if (a.kind == attribute::coordinates || (m_.samples && i == *m_.samples)) {
            continue;
        }
        std::string text = std::string(sections[static_cast<int>(a.where)]) + " " + a.keyword +
                           " " + a.name + ", " + a.type_word + ", " +
                           plural(a.components, "component", "components") + ", " +
                           plural(a.tuples, "tuple", "tuples");
        if (file_.values[i]) {
            text += ", " + range_of(*file_.values[i]);
        }
        line("array", text);
    }
}

void reporter::result() {
    unsigned problems = 0, warnings = 0;
    for (const finding& f : findings_) {
        const bool problem = f.what == finding::kind::problem;
        line(problem ? "problem" : "warning", f.text);
        (problem ? problems : warnings) += 1;
    }
    std::string result = problems == 0 ? "consistent" : plural(problems, "problem", "problems");
    if (warnings > 0) {
        result += ", " + plural(warnings, "warning", "warnings");
    }
    line("result", result);
}

std::string reporter::run() {
    kind_and_encoding();
    grid();
    extent();
    samples();
    other_arrays();
    result();
    return text_;
}

} // namespace

std::string report_text(const contents& file, const std::vector<finding>& findings) {
    return reporter(file, findings).run();
}

} // namespace vox::info
