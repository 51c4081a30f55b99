#include "json.hpp"

#include "keywords.hpp"
#include "report.hpp"
#include "text.hpp"

namespace vox::info {

namespace {

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

// A number as JSON has it: as the text report writes it, or null where it is not finite.
std::string json_value(const shown_value& v) {
    return v.finite() ? v.text() : null;
}

// A count or other figure that may be missing, or null.
template <typename T>
std::string json_count(const std::optional<T>& v) {
    return v ? to_text(*v) : null;
}

std::string json_text(const std::optional<std::string>& v) {
    return v ? json_string(*v) : null;
}

std::string json_span(const std::optional<span>& s) {
    return s ? builder('[').raw("", json_value(s->first)).raw("", json_value(s->second)).done()
             : null;
}

std::string json_values(const std::optional<values_content>& v) {
    if (!v) {
        return null;
    }
    return builder('{')
        .raw("min", v->range ? json_value(v->range->first) : null)
        .raw("max", v->range ? json_value(v->range->second) : null)
        .count("not_finite", v->not_finite)
        .done();
}

std::string json_list(const std::optional<std::vector<shown_value>>& values) {
    if (!values) {
        return null;
    }
    builder list('[');
    for (const shown_value& v : *values) {
        list.raw("", json_value(v));
    }
    return list.done();
}

class json_writer {
  public:
    explicit json_writer(const content& c) : c_(c) {}
    std::string run() const;

  private:
    void header(builder& out) const;
    void grid(builder& out) const;
    void samples(builder& out) const;
    std::string arrays() const;
    void result(builder& out) const;

    const content& c_;
};

void json_writer::header(builder& out) const {
    out.text("version", c_.version);
    out.text("grid", legacy::grid_name(c_.grid));
    const char* const codings[] = {keyword::ascii, keyword::binary, keyword::binary_file};
    out.text("encoding", codings[static_cast<int>(c_.coding)]);
    out.raw("reference", c_.reference ? builder('{')
                                            .text("path", c_.reference->path)
                                            .raw("found", json_text(c_.reference->found))
                                            .flag("only_beside", c_.reference->only_beside)
                                            .done()
                                      : null);
    out.raw("dataset", json_text(c_.dataset));
}

void json_writer::grid(builder& out) const {
    builder dimensions('[');
    for (const std::uint32_t d : c_.dimensions) {
        dimensions.count("", d);
    }
    out.raw("dimensions", dimensions.done());
    out.count("points", c_.points);
    out.raw("spacing", json_list(c_.spacing));
    out.raw("origin", json_list(c_.origin));
    builder coordinates('{');
    for (const coordinates_content& along : c_.coordinates) {
        coordinates.raw(axis_names[along.axis],
                        builder('{')
                            .text("keyword", along.keyword)
                            .count("values", along.values)
                            .raw("min", along.range ? json_value(along.range->first) : null)
                            .raw("max", along.range ? json_value(along.range->second) : null)
                            .done());
    }
    out.raw("coordinates", coordinates.done());
    builder extent('{');
    for (std::size_t axis = 0; axis < 3; ++axis) {
        extent.raw(axis_names[axis], json_span(c_.extent[axis]));
    }
    out.raw("extent", extent.done());
}

void json_writer::samples(builder& out) const {
    if (!c_.samples) {
        out.raw("samples", null);
        out.raw("values", null);
        return;
    }
    const samples_content& s = *c_.samples;
    builder shape('[');
    for (const std::uint64_t n : s.shape) {
        shape.count("", n);
    }
    out.raw("samples", builder('{')
                           .text("array", s.array)
                           .text("name", s.name)
                           .text("type", s.type)
                           .raw("bytes_per_value", json_count(s.bytes_per_value))
                           .count("components", s.components)
                           .text("file", s.file)
                           .raw("offset", json_count(s.offset))
                           .raw("bytes", json_count(s.bytes))
                           .raw("numbers", json_count(s.numbers))
                           .raw("dtype", json_text(s.dtype))
                           .raw("byte_order", json_text(s.byte_order))
                           .raw("byte_order_unknown", json_text(s.byte_order_unknown))
                           .raw("shape", shape.done())
                           .done());
    out.raw("values", json_values(c_.values));
}

std::string json_writer::arrays() const {
    builder list('[');
    for (const array_content& a : c_.arrays) {
        list.raw("", builder('{')
                         .text("section", a.section)
                         .text("keyword", a.keyword)
                         .text("name", a.name)
                         .text("type", a.type)
                         .count("components", a.components)
                         .count("tuples", a.tuples)
                         .raw("values", json_values(a.values))
                         .done());
    }
    return list.done();
}

void json_writer::result(builder& out) const {
    builder problems('['), warnings('[');
    for (const finding& f : c_.findings) {
        (f.what == finding::kind::problem ? problems : warnings)
            .raw("", builder('{').text("code", f.code).text("message", f.text).done());
    }
    out.raw("problems", problems.done());
    out.raw("warnings", warnings.done());
    out.text("result", c_.result);
}

std::string json_writer::run() const {
    builder out('{');
    out.text("file", c_.path).count("status", static_cast<unsigned>(c_.status));
    header(out);
    grid(out);
    samples(out);
    out.raw("arrays", arrays());
    result(out);
    return out.done();
}

} // namespace

std::string report_json(const content& c) {
    return json_writer(c).run();
}

std::string failure_json(const std::string& path, const char* code, const std::string& message) {
    return builder('{')
        .text("file", path)
        .count("status", 2)
        .raw("error", builder('{').text("code", code).text("message", message).done())
        .done();
}

} // namespace vox::info
