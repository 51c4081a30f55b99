#include "json.hpp"

#include "facts.hpp"
#include "keywords.hpp"
#include "report.hpp"

namespace vox::info {

namespace {

using legacy::array_info;
using legacy::attribute;
using legacy::encoding;

const char* const axis_names[] = {"x", "y", "z"};
constexpr const char* null = "null";

// Builds an object or an array of JSON values, one member at a time.
class builder {
  public:
    explicit builder(char open) : out_(1, open), close_(open == '{' ? '}' : ']') {}
    builder& raw(std::string_view key, const std::string& value) {
        out_ += first_ ? "" : ",";
        first_ = false;
        if (!key.empty()) {
            out_ += "\"" + std::string(key) + "\":";
        }
        out_ += value;
        return *this;
    }
    builder& text(std::string_view key, std::string_view value) {
        return raw(key, json_string(value));
    }
    builder& count(std::string_view key, legacy::uint128 value) { return raw(key, to_text(value)); }
    builder& flag(std::string_view key, bool value) { return raw(key, value ? "true" : "false"); }
    std::string done() const { return out_ + close_; }

  private:
    std::string out_;
    char close_;
    bool first_ = true;
};

class json_reporter {
  public:
    json_reporter(const contents& file, const std::vector<finding>& findings)
        : file_(file), m_(file.model), findings_(findings) {}
    std::string run(const std::string& path);

  private:
    void header(builder& out) const;
    void grid(builder& out) const;
    std::string extent() const;
    void samples(builder& out) const;
    std::string arrays() const;
    void result(builder& out) const;
    const legacy::array_sink* coordinates_along(std::size_t axis) const;

    const contents& file_;
    const file_model& m_;
    const std::vector<finding>& findings_;
};

// "MIN to MAX" of a sink's range as two JSON values, null where there is none.
std::pair<std::string, std::string> bounds(const std::string& range) {
    const auto to = range.find(" to ");
    if (to == std::string::npos) {
        return {null, null};
    }
    return {json_number(range.substr(0, to)), json_number(range.substr(to + 4))};
}

std::string values_of(const legacy::sample_sink& values) {
    const auto [low, high] = bounds(values.range());
    return builder('{')
        .raw("min", low)
        .raw("max", high)
        .count("not_finite", values.not_finite())
        .done();
}

void json_reporter::header(builder& out) const {
    const char* const grid_names[] = {"uniform", "rectilinear", "slice stack"};
    out.text("version", m_.version);
    out.text("grid", grid_names[static_cast<int>(m_.grid)]);
    const char* const codings[] = {keyword::ascii, keyword::binary, keyword::binary_file};
    out.text("encoding", codings[static_cast<int>(m_.coding)]);
    if (m_.coding == encoding::binary_file) {
        const referenced& ref = file_.reference;
        const bool found =
            ref.how != referenced::state::not_looked_at && ref.how != referenced::state::missing;
        out.raw("reference", builder('{')
                                 .text("path", m_.reference)
                                 .raw("found", found ? json_string(ref.path) : null)
                                 .flag("only_beside", ref.only_beside)
                                 .done());
    } else {
        out.raw("reference", null);
    }
    const char* const datasets[] = {nullptr, keyword::structured_points, keyword::rectilinear_grid};
    const char* dataset = datasets[static_cast<int>(m_.dataset)];
    out.raw("dataset", dataset != nullptr ? json_string(dataset) : null);
}

const legacy::array_sink* json_reporter::coordinates_along(std::size_t axis) const {
    const legacy::array_sink* values = nullptr;
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        if (m_.arrays[i].kind == attribute::coordinates && m_.arrays[i].axis == axis) {
            values = &file_.coordinates.of(axis)->judged();
        }
    }
    return values;
}

void json_reporter::grid(builder& out) const {
    builder dimensions('[');
    for (const std::uint32_t d : m_.dimensions) {
        dimensions.count("", d);
    }
    out.raw("dimensions", dimensions.done());
    out.count("points", m_.points());
    if (m_.grid != legacy::grid_kind::rectilinear) {
        builder spacing('['), origin('[');
        for (std::size_t i = 0; i < m_.reals; ++i) {
            spacing.raw("", json_number(legacy::format_number(m_.spacing[i])));
            origin.raw("", json_number(legacy::format_number(m_.origin[i])));
        }
        out.raw("spacing", spacing.done());
        out.raw("origin", origin.done());
    } else {
        out.raw("spacing", null);
        out.raw("origin", null);
    }
    builder coordinates('{');
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        const array_info& a = m_.arrays[i];
        if (a.kind != attribute::coordinates || file_.coordinates.of(a.axis) == nullptr) {
            continue;
        }
        const legacy::array_sink& values = file_.coordinates.of(a.axis)->judged();
        const bool any = values.any();
        coordinates.raw(
            axis_names[a.axis],
            builder('{')
                .text("keyword", a.keyword)
                .count("values", values.values())
                .raw("min",
                     any ? json_number(legacy::format_number(values.min(), values.single())) : null)
                .raw("max",
                     any ? json_number(legacy::format_number(values.max(), values.single())) : null)
                .done());
    }
    out.raw("coordinates", coordinates.done());
    out.raw("extent", extent());
}

std::string json_reporter::extent() const {
    builder out('{');
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const bool from_array = m_.grid == legacy::grid_kind::rectilinear ||
                                (m_.grid == legacy::grid_kind::slice_stack && axis == 2);
        std::string low, high;
        if (from_array) {
            const legacy::array_sink* values = coordinates_along(axis);
            if (values != nullptr && values->any()) {
                low = legacy::format_number(values->min(), values->single());
                high = legacy::format_number(values->max(), values->single());
            }
        } else if (m_.dimensions[axis] != 0) {
            low = legacy::format_number(m_.origin[axis]);
            high = legacy::format_number(m_.origin[axis] +
                                         (m_.dimensions[axis] - 1.0) * m_.spacing[axis]);
        }
        out.raw(axis_names[axis],
                low.empty()
                    ? null
                    : builder('[').raw("", json_number(low)).raw("", json_number(high)).done());
    }
    return out.done();
}

void json_reporter::samples(builder& out) const {
    if (!m_.samples) {
        out.raw("samples", null);
        out.raw("values", null);
        return;
    }
    const std::size_t i = *m_.samples;
    const array_info& a = m_.arrays[i];
    builder s('{');
    s.text("array", a.keyword).text("name", a.name).text("type", a.type_word);
    const bool sized = a.type != nullptr && a.type->kind != legacy::number_kind::bit;
    s.raw("bytes_per_value", sized ? to_text(a.type->size) : null);
    s.count("components", a.components);
    // Where the samples are, how many bytes (and numbers) there are, and what they were read as.
    const legacy::sample_sink* values = nullptr;
    std::string where = json_string(file_.facts.samples->path), offset = to_text(a.offset);
    std::string bytes = to_text(a.bytes), numbers = null;
    if (m_.coding == encoding::ascii) {
        values = file_.values[i].get();
        numbers = to_text(values->values());
    } else if (m_.coding == encoding::binary) {
        values = a.type != nullptr ? file_.values[i].get() : nullptr;
    } else {
        const referenced& ref = file_.reference;
        const bool bytes_read =
            ref.how == referenced::state::read || ref.how == referenced::state::not_read;
        const bool named_only =
            ref.how == referenced::state::not_looked_at || ref.how == referenced::state::missing;
        where = json_string(named_only ? m_.reference : ref.path);
        offset = bytes_read ? "0" : null;
        bytes = bytes_read ? to_text(ref.values->bytes()) : null;
        values =
            ref.how == referenced::state::read && a.type != nullptr ? ref.values.get() : nullptr;
    }
    s.raw("file", where).raw("offset", offset).raw("bytes", bytes).raw("numbers", numbers);
    // The byte order as judged from the values, where it means anything; unknown is read as the
    // layout declares it, big-endian.
    const auto& judged = file_.facts.samples->judged;
    const char* const orders[] = {"\"big-endian\"", "\"little-endian\"", "\"unknown\""};
    const char* order = judged ? orders[static_cast<int>(judged->order)] : null;
    const bool little = judged && judged->order == legacy::order_evidence::verdict::little_endian;
    const bool mapped = m_.coding != encoding::ascii && sized && values != nullptr;
    s.raw("dtype", mapped ? json_string(legacy::numpy_dtype(*a.type, little)) : null);
    s.raw("byte_order", order);
    const bool unknown = judged && judged->order == legacy::order_evidence::verdict::unknown;
    s.raw("byte_order_unknown", unknown ? json_string(judged->why_unknown) : null);
    builder shape('[');
    for (std::size_t axis = 3; axis-- > 0;) {
        shape.count("", m_.dimensions[axis]);
    }
    if (a.components != 1) {
        shape.count("", a.components);
    }
    s.raw("shape", shape.done());
    out.raw("samples", s.done());
    out.raw("values", values != nullptr ? values_of(*values) : null);
}

std::string json_reporter::arrays() const {
    const char* const sections[] = {"", "point", "cell", "dataset"};
    builder list('[');
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        const array_info& a = m_.arrays[i];
        if (a.kind == attribute::coordinates || (m_.samples && i == *m_.samples)) {
            continue;
        }
        builder entry('{');
        entry.text("section", sections[static_cast<int>(a.where)])
            .text("keyword", a.keyword)
            .text("name", a.name)
            .text("type", a.type_word)
            .count("components", a.components)
            .count("tuples", a.tuples);
        entry.raw("values", file_.values[i] ? values_of(*file_.values[i]) : null);
        list.raw("", entry.done());
    }
    return list.done();
}

void json_reporter::result(builder& out) const {
    builder problems('['), warnings('[');
    unsigned found[2] = {0, 0};
    for (const finding& f : findings_) {
        const bool problem = f.what == finding::kind::problem;
        (problem ? problems : warnings)
            .raw("", builder('{').text("code", f.code).text("message", f.text).done());
        found[problem ? 0 : 1] += 1;
    }
    std::string result = found[0] == 0 ? "consistent" : plural(found[0], "problem", "problems");
    if (found[1] > 0) {
        result += ", " + plural(found[1], "warning", "warnings");
    }
    out.raw("problems", problems.done());
    out.raw("warnings", warnings.done());
    out.text("result", result);
}

std::string json_reporter::run(const std::string& path) {
    unsigned problems = 0;
    for (const finding& f : findings_) {
        problems += f.what == finding::kind::problem ? 1 : 0;
    }
    builder out('{');
    out.text("file", path).count("status", problems > 0 ? 1 : 0);
    header(out);
    grid(out);
    samples(out);
    out.raw("arrays", arrays());
    result(out);
    return out.done();
}

// The length of the valid UTF-8 sequence at the start of `s`; 0 when there is none.
std::size_t utf8_length(std::string_view s) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code = lead & 0x1fU, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code = lead & 0x0fU, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code = lead & 0x07U, least = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0U) != 0x80U) {
            return 0;
        }
        code = code << 6U | (byte(i) & 0x3fU);
    }
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code < least || code > 0x10ffff || surrogate ? 0 : length;
}

} // namespace

std::string json_string(std::string_view bytes) {
    constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            if (const std::size_t n = utf8_length(bytes.substr(i)); n > 0) {
                out.append(bytes.substr(i, n));
                i += n;
            } else {
                out += "\xef\xbf\xbd"; // U+FFFD, the replacement character
                ++i;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string json_number(const std::string& formatted) {
    // JSON's grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    std::size_t i = 0;
    const std::size_t n = formatted.size();
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < n && formatted[i] >= '0' && formatted[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    i += i < n && formatted[i] == '-' ? 1 : 0;
    const std::size_t first = i;
    bool ok = digits() > 0 && (formatted[first] != '0' || i == first + 1);
    if (ok && i < n && formatted[i] == '.') {
        ++i;
        ok = digits() > 0;
    }
    if (ok && i < n && (formatted[i] == 'e' || formatted[i] == 'E')) {
        ++i;
        i += i < n && (formatted[i] == '+' || formatted[i] == '-') ? 1 : 0;
        ok = digits() > 0;
    }
    return ok && i == n ? formatted : json_string(formatted);
}

std::string report_json(const contents& file, const std::vector<finding>& findings,
                        const std::string& path) {
    return json_reporter(file, findings).run(path);
}

std::string failure_json(const std::string& path, const char* code, const std::string& message) {
    return builder('{')
        .text("file", path)
        .count("status", 2)
        .raw("error", builder('{').text("code", code).text("message", message).done())
        .done();
}

} // namespace vox::info
