#include "content.hpp"

#include "keywords.hpp"
#include "text.hpp"

namespace vox::info {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;
using legacy::grid_kind;

values_content values_of(const legacy::sample_sink& values) {
    return {values.bounds(), values.not_finite()};
}

std::optional<span> range_of(const legacy::array_sink& values) {
    if (!values.any()) {
        return std::nullopt;
    }
    return span{shown_value::of_real(values.min(), values.single()),
                shown_value::of_real(values.max(), values.single())};
}

class deriver {
  public:
    deriver(const contents& file, content& c) : file_(file), m_(file.model), c_(c) {}
    void header();
    void grid();
    void samples();
    void arrays();
    void result(const std::vector<finding>& findings);

  private:
    const contents& file_;
    const legacy::file_model& m_;
    content& c_;
};

void deriver::header() {
    c_.version = m_.version;
    c_.grid = m_.grid;
    c_.coding = m_.coding;
    if (m_.coding == encoding::binary_file) {
        const referenced& ref = file_.reference;
        const bool found =
            ref.how != referenced::state::not_looked_at && ref.how != referenced::state::missing;
        c_.reference = reference_content{
            m_.reference, found ? std::optional<std::string>(ref.path) : std::nullopt,
            ref.only_beside};
    }
    if (m_.dataset != legacy::dataset_kind::none) {
        c_.dataset = m_.dataset == legacy::dataset_kind::structured_points
                         ? keyword::structured_points
                         : keyword::rectilinear_grid;
    }
}

void deriver::grid() {
    c_.dimensions = m_.dimensions;
    c_.points = m_.points();
    if (m_.grid != grid_kind::rectilinear) {
        c_.spacing.emplace();
        c_.origin.emplace();
        for (std::size_t i = 0; i < m_.reals; ++i) {
            c_.spacing->push_back(shown_value::of_real(m_.spacing[i]));
            c_.origin->push_back(shown_value::of_real(m_.origin[i]));
        }
    }
    for (const array_info& a : m_.arrays) {
        const legacy::coordinate_values* kept = file_.coordinates.of(a.axis);
        if (a.kind != attribute::coordinates || kept == nullptr) {
            continue;
        }
        const legacy::array_sink& values = kept->judged();
        c_.coordinates.push_back({a.axis, a.keyword, values.values(), range_of(values)});
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const bool from_array =
            m_.grid == grid_kind::rectilinear || (m_.grid == grid_kind::slice_stack && axis == 2);
        if (from_array) {
            for (const coordinates_content& along : c_.coordinates) {
                c_.extent[axis] = along.axis == axis ? along.range : c_.extent[axis];
            }
        } else if (m_.dimensions[axis] != 0) {
            const double end = m_.origin[axis] + (m_.dimensions[axis] - 1.0) * m_.spacing[axis];
            c_.extent[axis] =
                span{shown_value::of_real(m_.origin[axis]), shown_value::of_real(end)};
        }
    }
}

void deriver::samples() {
    if (!m_.samples) {
        return;
    }
    const std::size_t i = *m_.samples;
    const array_info& a = m_.arrays[i];
    samples_content& s = c_.samples.emplace();
    s.array = a.keyword;
    s.name = a.name;
    s.type = a.type_word;
    const bool sized = a.type != nullptr && a.type->kind != legacy::number_kind::bit;
    s.bits = a.type != nullptr && a.type->kind == legacy::number_kind::bit;
    s.bytes_per_value = sized ? std::optional<unsigned>(a.type->size) : std::nullopt;
    s.components = a.components;
    // Where the samples are, how many bytes (and numbers) there are, and what they were read as.
    const legacy::sample_sink* values = nullptr;
    s.file = file_.facts.samples->path;
    s.offset = a.offset;
    s.bytes = a.bytes;
    if (m_.coding == encoding::ascii) {
        values = file_.values[i].get();
        s.numbers = values->values();
    } else if (m_.coding == encoding::binary) {
        values = a.type != nullptr ? file_.values[i].get() : nullptr;
    } else {
        const referenced& ref = file_.reference;
        const bool bytes_read =
            ref.how == referenced::state::read || ref.how == referenced::state::not_read;
        const bool named_only =
            ref.how == referenced::state::not_looked_at || ref.how == referenced::state::missing;
        s.file = named_only ? m_.reference : ref.path;
        s.looked_at = ref.how != referenced::state::not_looked_at;
        s.offset = bytes_read ? std::optional<std::uint64_t>(0) : std::nullopt;
        s.bytes = bytes_read ? std::optional<std::uint64_t>(ref.values->bytes()) : std::nullopt;
        values =
            ref.how == referenced::state::read && a.type != nullptr ? ref.values.get() : nullptr;
    }
    // The byte order as judged, where it means anything; unknown is read as declared.
    const auto& judged = file_.facts.samples->judged;
    const bool little = judged && judged->order == legacy::order_evidence::verdict::little_endian;
    if (judged) {
        const char* const orders[] = {"big-endian", "little-endian", "unknown"};
        s.byte_order = orders[static_cast<int>(judged->order)];
        if (judged->order == legacy::order_evidence::verdict::unknown) {
            s.byte_order_unknown = judged->why_unknown;
        }
    }
    if (m_.coding != encoding::ascii && sized && values != nullptr) {
        s.dtype = legacy::numpy_dtype(*a.type, little);
    }
    for (std::size_t axis = 3; axis-- > 0;) {
        s.shape.push_back(m_.dimensions[axis]);
    }
    if (a.components != 1) {
        s.shape.push_back(a.components);
    }
    if (values != nullptr) {
        c_.values = values_of(*values);
    }
}

void deriver::arrays() {
    const char* const sections[] = {"", "point", "cell", "dataset"};
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        const array_info& a = m_.arrays[i];
        if (a.kind == attribute::coordinates || (m_.samples && i == *m_.samples)) {
            continue;
        }
        array_content entry{sections[static_cast<int>(a.where)],
                            a.keyword,
                            a.name,
                            a.type_word,
                            a.components,
                            a.tuples,
                            std::nullopt};
        if (file_.values[i]) {
            entry.values = values_of(*file_.values[i]);
        }
        c_.arrays.push_back(std::move(entry));
    }
}

void deriver::result(const std::vector<finding>& findings) {
    c_.findings = findings;
    unsigned problems = 0, warnings = 0;
    for (const finding& f : findings) {
        (f.what == finding::kind::problem ? problems : warnings) += 1;
    }
    c_.result = problems == 0 ? "consistent" : legacy::plural(problems, "problem", "problems");
    if (warnings > 0) {
        c_.result += ", " + legacy::plural(warnings, "warning", "warnings");
    }
    c_.status = problems > 0 ? 1 : 0;
}

} // namespace

content derive_content(const contents& file, const std::vector<finding>& findings,
                       const std::string& path) {
    content c;
    c.path = path;
    deriver d(file, c);
    d.header();
    d.grid();
    d.samples();
    d.arrays();
    d.result(findings);
    return c;
}

} // namespace vox::info
