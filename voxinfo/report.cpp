#include "report.hpp"

#include "keywords.hpp"

namespace vox::info {

namespace {

using legacy::encoding;
using legacy::grid_kind;

const char* const axis_names[] = {"x", "y", "z"};

class text_writer {
  public:
    explicit text_writer(const content& c) : c_(c) {}
    std::string run();

  private:
    void line(const std::string& key, const std::string& value) {
        text_ += "  " + key + ": " + printable(value) + "\n";
    }
    void kind_and_encoding();
    void grid();
    void samples();
    void arrays();
    void result();
    std::string description(const samples_content& s) const;

    const content& c_;
    std::string text_;
};

std::string text_of(const span& s) {
    return s.first.text() + " to " + s.second.text();
}

std::string text_of(const values_content& v) {
    return (v.range ? text_of(*v.range) : "none") +
           (v.not_finite > 0 ? ", " + to_text(v.not_finite) + " not finite" : "");
}

void text_writer::kind_and_encoding() {
    if (c_.version != "2.0") {
        line("version", c_.version);
    }
    line("grid", legacy::grid_name(c_.grid));
    switch (c_.coding) {
    case encoding::binary:
        line("encoding", std::string(keyword::binary) + ", samples embedded");
        break;
    case encoding::ascii:
        line("encoding", std::string(keyword::ascii) + ", samples embedded");
        break;
    case encoding::binary_file:
        line("encoding", std::string(keyword::binary_file) + ", samples in " + c_.reference->path);
        break;
    }
    if (c_.dataset) {
        line("dataset", *c_.dataset);
    } else if (c_.coding == encoding::binary_file) {
        line("dataset", "none; VTK's legacy readers cannot read samples kept in another file");
    } else if (c_.grid == grid_kind::slice_stack) {
        line("dataset", "none; a slice stack has no standard dataset type, so VTK's legacy "
                        "readers cannot read it");
    } else {
        line("dataset", std::string("none; VTK's legacy readers need \"") + keyword::dataset + " " +
                            (c_.grid == grid_kind::uniform ? keyword::structured_points
                                                           : keyword::rectilinear_grid) +
                            "\" after line 3");
    }
}

void text_writer::grid() {
    line("dimensions", to_text(c_.dimensions[0]) + " " + to_text(c_.dimensions[1]) + " " +
                           to_text(c_.dimensions[2]));
    line("points", to_text(c_.points));
    if (c_.spacing) {
        std::string spacing, origin;
        for (std::size_t i = 0; i < c_.spacing->size(); ++i) {
            spacing += (i == 0 ? "" : " ") + (*c_.spacing)[i].text();
            origin += (i == 0 ? "" : " ") + (*c_.origin)[i].text();
        }
        line("spacing", spacing);
        line("origin", origin);
    }
    for (const coordinates_content& along : c_.coordinates) {
        const std::string range = along.range    ? text_of(*along.range)
                                  : along.values ? "none finite"
                                                 : "none";
        line(c_.grid == grid_kind::slice_stack ? "z locations" : axis_names[along.axis],
             plural(along.values, "value", "values") + ", " + range);
    }
    std::string extent;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        extent += std::string(axis == 0 ? "" : ", ") + axis_names[axis] + " " +
                  (c_.extent[axis] ? text_of(*c_.extent[axis]) : "none");
    }
    line("extent", extent);
}

// The type of the samples, their name where the file gives more than the converters write, and
// their components.
std::string text_writer::description(const samples_content& s) const {
    std::string text;
    if (s.array != keyword::scalars || s.name != keyword::scalars_name) {
        text += s.array + " " + s.name + ", ";
    }
    text += s.type;
    if (c_.coding == encoding::ascii) {
        text += " as text";
    } else {
        text += s.bytes_per_value ? " (" + plural(*s.bytes_per_value, "byte", "bytes") + ")"
                : s.bits          ? " (bits)"
                                  : " (size unknown)";
    }
    if (s.components != 1) {
        text += ", " + to_text(s.components) + " components";
    }
    return text;
}

void text_writer::samples() {
    if (!c_.samples) {
        line("samples", "none");
        return;
    }
    const samples_content& s = *c_.samples;
    std::string where;
    if (c_.coding == encoding::ascii) {
        where = plural(*s.numbers, "number", "numbers") + " in " +
                plural(*s.bytes, "byte", "bytes") + " from byte " + to_text(*s.offset);
    } else if (c_.coding == encoding::binary) {
        where = plural(*s.bytes, "byte", "bytes") + " from byte " + to_text(*s.offset);
    } else if (s.bytes) {
        where = plural(*s.bytes, "byte", "bytes") + " in " + s.file;
    } else {
        where = "in " + s.file + (s.looked_at ? "" : " (not looked at)");
    }
    line("samples", description(s) + ", " + where);
    if (c_.values) {
        line("values", text_of(*c_.values));
    }
    if (s.byte_order) {
        line("byte order", *s.byte_order + (s.byte_order_unknown ? ": " + *s.byte_order_unknown +
                                                                       "; read as big-endian, as "
                                                                       "declared"
                                                                 : ""));
    }
}

void text_writer::arrays() {
    for (const array_content& a : c_.arrays) {
        line("array", a.section + " " + a.keyword + " " + a.name + ", " + a.type + ", " +
                          plural(a.components, "component", "components") + ", " +
                          plural(a.tuples, "tuple", "tuples") +
                          (a.values ? ", " + text_of(*a.values) : ""));
    }
}

void text_writer::result() {
    for (const finding& f : c_.findings) {
        line(f.what == finding::kind::problem ? "problem" : "warning", f.text);
    }
    line("result", c_.result);
}

std::string text_writer::run() {
    kind_and_encoding();
    grid();
    samples();
    arrays();
    result();
    return text_;
}

} // namespace

std::string report_text(const content& c) {
    return text_writer(c).run();
}

} // namespace vox::info
