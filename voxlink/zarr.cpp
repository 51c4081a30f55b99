#include "zarr.hpp"

#include "facts.hpp"
#include "text.hpp"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace vox::companion {

namespace {

namespace fs = std::filesystem;
using legacy::array_info;
using legacy::json_string;
using legacy::to_text;

const char* const axis_names[] = {"x", "y", "z"};

// The largest divisor of `n` that is at most `most`; 1 at least.
std::uint64_t largest_divisor(std::uint64_t n, std::uint64_t most) {
    std::uint64_t best = 1;
    for (std::uint64_t d = 1; d * d <= n; ++d) {
        if (n % d != 0) {
            continue;
        }
        for (const std::uint64_t candidate : {d, n / d}) {
            if (candidate <= most && candidate > best) {
                best = candidate;
            }
        }
    }
    return best;
}

std::string base64(std::string_view bytes) {
    constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = group << 8U | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0U);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            out += j <= n ? digits[(group >> (18 - 6 * j)) & 63U] : '=';
        }
    }
    return out;
}

// Positions as little-endian float64 values, inline.
std::string inline_values(const std::vector<double>& values) {
    std::string bytes;
    bytes.reserve(values.size() * 8);
    for (const double v : values) {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (unsigned shift = 0; shift < 64; shift += 8) {
            bytes += static_cast<char>((bits >> shift) & 0xffU);
        }
    }
    return "base64:" + base64(bytes);
}

std::string list(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "" : ",") + items[i];
    }
    return out + "]";
}

// One Zarr array: its metadata, and where its values lie (a data file's name, or inline).
struct array_entry {
    std::string name;
    std::vector<std::string> dimensions; // slowest first
    std::vector<std::uint64_t> shape, chunks;
    std::string dtype;
    std::string file; // the data file's name; empty: `inline_data` holds the values
    std::uint64_t offset = 0;
    std::string inline_data;

    std::string zarray() const {
        std::vector<std::string> s, c;
        for (std::size_t i = 0; i < shape.size(); ++i) {
            s.push_back(to_text(shape[i]));
            c.push_back(to_text(chunks[i]));
        }
        return R"({"chunks":)" + list(c) + R"(,"compressor":null,"dtype":")" + dtype +
               R"(","fill_value":null,"filters":null,"order":"C","shape":)" + list(s) +
               R"(,"zarr_format":2})";
    }
    std::string zattrs() const {
        std::vector<std::string> names;
        for (const std::string& d : dimensions) {
            names.push_back(json_string(d));
        }
        return R"({"_ARRAY_DIMENSIONS":)" + list(names) + "}";
    }
};

// Builds the JSON document: the metadata of the group and its arrays (as strings, and once more
// as consolidated metadata), and the chunks, each a byte range of a data file named through a
// template.
class document {
  public:
    void metadata(const std::string& key, const std::string& json) {
        refs_.push_back(json_string(key) + ":" + json_string(json));
        consolidated_.push_back(json_string(key) + ":" + json);
    }
    void chunk(const std::string& key, const std::string& file, std::uint64_t offset,
               std::uint64_t length) {
        const auto at = templates_.emplace(file, "f" + to_text(templates_.size())).first;
        refs_.push_back(json_string(key) + R"(:["{{)" + at->second + R"(}}",)" + to_text(offset) +
                        "," + to_text(length) + "]");
    }
    void inline_chunk(const std::string& key, const std::string& data) {
        refs_.push_back(json_string(key) + ":" + json_string(data));
    }
    void add(const array_entry& a, std::uint64_t value_bytes);
    std::string text() const;

  private:
    std::vector<std::string> refs_, consolidated_;
    std::map<std::string, std::string> templates_;
};

void document::add(const array_entry& a, std::uint64_t value_bytes) {
    metadata(a.name + "/.zarray", a.zarray());
    metadata(a.name + "/.zattrs", a.zattrs());
    if (a.file.empty()) {
        inline_chunk(a.name + "/0", a.inline_data);
        return;
    }
    if (a.shape.size() == 1) {
        chunk(a.name + "/0", a.file, a.offset, a.shape[0] * value_bytes);
        return;
    }
    // Chunks along the first two dimensions alone: the bytes of one step along the second, and
    // the indices of the others, whole.
    std::uint64_t inner = value_bytes;
    std::string zeros;
    for (std::size_t i = 2; i < a.shape.size(); ++i) {
        inner *= a.shape[i];
        zeros += ".0";
    }
    const std::uint64_t length = a.chunks[0] * a.chunks[1] * inner;
    for (std::uint64_t i = 0; a.chunks[0] > 0 && i < a.shape[0] / a.chunks[0]; ++i) {
        for (std::uint64_t j = 0; a.chunks[1] > 0 && j < a.shape[1] / a.chunks[1]; ++j) {
            const std::uint64_t at =
                a.offset + (i * a.chunks[0] * a.shape[1] + j * a.chunks[1]) * inner;
            chunk(a.name + "/" + to_text(i) + "." + to_text(j) + zeros, a.file, at, length);
        }
    }
}

std::string document::text() const {
    std::string out = R"({"version":1,"templates":{)";
    bool first = true;
    for (const auto& [file, key] : templates_) {
        out += (first ? "" : ",") + json_string(key) + ":" + json_string(file);
        first = false;
    }
    out += "},\n\"refs\":{\n";
    for (const std::string& r : refs_) {
        out += r + ",\n";
    }
    out += R"(".zmetadata":)";
    std::string all = R"({"metadata":{)";
    for (std::size_t i = 0; i < consolidated_.size(); ++i) {
        all += (i == 0 ? "" : ",") + consolidated_[i];
    }
    all += R"(},"zarr_consolidated_format":1})";
    return out + json_string(all) + "\n}}\n";
}

// Why an array's name cannot name a Zarr array beside the coordinates and the others.
std::string name_problem(const std::string& name, const std::set<std::string>& taken) {
    const std::string shown = "'" + legacy::printable(name) + "'";
    if (name.empty() || name.front() == '.' || name.find_first_of("/\\") != std::string::npos) {
        return "the array name " + shown + " cannot name a Zarr array";
    }
    if (name == "x" || name == "y" || name == "z") {
        return "an array is named " + shown + ", as a coordinate is";
    }
    if (taken.count(name) != 0) {
        return "two arrays are named " + shown;
    }
    return {};
}

// Whether `text` is UTF-8 throughout: JSON carries no other bytes (json_string() writes U+FFFD
// for them), so that a name holding them would lead elsewhere.
bool utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = legacy::first_char(text.substr(i)).length;
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

// The positions of an axis's grid lines: pointed at where they are binary in a file that the
// reference can name, else inline (those of a uniform grid computed from origin and spacing).
array_entry coordinate(const target& t, std::size_t axis,
                       const std::function<std::string(const std::string&)>& name_of) {
    array_entry a;
    a.name = axis_names[axis];
    a.dimensions = {a.name};
    const std::uint64_t n = t.dimensions[axis];
    a.shape = {n};
    a.chunks = {std::max<std::uint64_t>(n, 1)};
    const std::optional<place>& p = t.line_values[axis];
    const bool pointed = p && t.model.grid != legacy::grid_kind::uniform &&
                         !legacy::numpy_dtype(*p->type, p->little_endian).empty();
    if (pointed) {
        a.file = name_of(p->path);
        a.offset = p->offset;
        a.dtype = legacy::numpy_dtype(*p->type, p->little_endian);
    }
    if (a.file.empty()) {
        std::vector<double> lines = t.lines[axis];
        if (lines.size() != n) {
            lines.resize(n);
            for (std::uint64_t i = 0; i < n; ++i) {
                lines[i] = t.model.origin[axis] + static_cast<double>(i) * t.model.spacing[axis];
            }
        }
        a.dtype = "<f8";
        a.inline_data = inline_values(lines);
    }
    return a;
}

} // namespace

std::array<std::uint64_t, 3> chunk_shape(const std::array<std::uint32_t, 3>& dimensions,
                                         std::uint64_t point_bytes, std::uint64_t aim) {
    const std::uint64_t nx = dimensions[0], ny = dimensions[1], nz = dimensions[2];
    const std::uint64_t row = std::max<std::uint64_t>(nx * point_bytes, 1);
    const std::uint64_t slice = row * std::max<std::uint64_t>(ny, 1);
    const std::uint64_t width = std::max<std::uint64_t>(nx, 1);
    if (slice <= aim) {
        return {largest_divisor(nz, aim / slice), std::max<std::uint64_t>(ny, 1), width};
    }
    return {1, largest_divisor(ny, aim / row), width};
}

companion zarr_reference(const target& t,
                         const std::function<std::string(const std::string&)>& name_of,
                         std::uint64_t aim) {
    const legacy::file_model& m = t.model;
    if (t.text) {
        return {{}, "the samples are text (ASCII), which cannot be read in chunks in place"};
    }
    std::string unnamed; // why a data file cannot be named
    const auto named = [&name_of, &unnamed](const std::string& data) {
        std::string name = name_of(data);
        if (!utf8(name) && unnamed.empty()) {
            unnamed = "the data file's name " + legacy::printable(data) +
                      " holds bytes that are not UTF-8, which JSON cannot carry";
        }
        return name;
    };
    document doc;
    doc.metadata(".zgroup", R"({"zarr_format":2})");
    const std::string source = t.path.substr(t.path.rfind('/') + 1);
    doc.metadata(".zattrs", R"({"grid":)" + json_string(legacy::grid_name(m.grid)) +
                                R"(,"source":)" + json_string(source) + R"(,"title":)" +
                                json_string(m.title) + "}");
    // Every binary point-data array of numbers, one value a point: the samples first.
    std::vector<std::size_t> order{t.model.samples.value_or(0)};
    for (std::size_t i = 0; i < m.arrays.size(); ++i) {
        const array_info& a = m.arrays[i];
        if (i != order.front() && a.where == legacy::section::point_data && !a.strings &&
            a.kind != legacy::attribute::lookup_table && a.type != nullptr &&
            a.tuples == m.points() && !legacy::numpy_dtype(*a.type, false).empty()) {
            order.push_back(i);
        }
    }
    std::set<std::string> taken;
    std::map<unsigned, std::string> component_names;
    for (const std::size_t index : order) {
        const array_info& a = m.arrays[index];
        const bool samples = index == order.front();
        array_entry e;
        e.name = a.name;
        e.file = named(samples ? t.samples.path : t.path);
        if (e.file.empty() && !samples) {
            continue; // in the header, which the given URL does not reach
        }
        if (e.file.empty()) {
            return {{}, "the data file cannot be named"};
        }
        if (std::string why = name_problem(a.name, taken); !why.empty()) {
            return {{}, why};
        }
        taken.insert(a.name);
        e.offset = samples ? t.samples.offset : a.offset;
        e.dtype = legacy::numpy_dtype(*a.type, t.samples.little_endian);
        e.dimensions = {"z", "y", "x"};
        e.shape = {t.dimensions[2], t.dimensions[1], t.dimensions[0]};
        const auto shape = chunk_shape(t.dimensions, a.type->size * a.components, aim);
        e.chunks.assign(shape.begin(), shape.end());
        if (a.components > 1) {
            // "component", or where arrays differ in their count, "component_N" for the others.
            const std::string fresh =
                component_names.empty() ? "component" : "component_" + to_text(a.components);
            e.dimensions.push_back(component_names.emplace(a.components, fresh).first->second);
            e.shape.push_back(a.components);
            e.chunks.push_back(a.components);
        }
        doc.add(e, a.type->size);
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const array_entry c = coordinate(t, axis, named);
        doc.add(c, c.file.empty() ? 8 : t.line_values[axis]->type->size);
    }
    if (!unnamed.empty()) {
        return {{}, unnamed};
    }
    return {doc.text(), {}};
}

using legacy::number_kind;
const std::vector<type_name> zarr_types = {
    {number_kind::unsigned_integer, 1, "u1"}, {number_kind::signed_integer, 1, "i1"},
    {number_kind::unsigned_integer, 2, "u2"}, {number_kind::signed_integer, 2, "i2"},
    {number_kind::unsigned_integer, 4, "u4"}, {number_kind::signed_integer, 4, "i4"},
    {number_kind::unsigned_integer, 8, "u8"}, {number_kind::signed_integer, 8, "i8"},
    {number_kind::floating, 4, "f4"},         {number_kind::floating, 8, "f8"},
};

companion zarr(const target& t, std::string_view /*type*/, const namer& name_of) {
    return zarr_reference(t, name_of.absolute, chunk_aim_here());
}

std::string zarr_data_name(const std::string& data, const std::string& samples_path,
                           const std::string& url) {
    if (!url.empty()) {
        return data == samples_path ? url : std::string{};
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(data, error);
    const std::string path = error ? "" : fs::weakly_canonical(absolute, error).string();
    if (error || path.empty()) {
        return {};
    }
    // A path that holds "://" would be taken for a URL.
    return path.find("://") == std::string::npos ? path : "file://" + path;
}

std::string url_problem(std::string_view url) {
    const std::size_t colon = url.find("://");
    const bool scheme =
        colon != std::string_view::npos && colon > 0 &&
        std::isalpha(static_cast<unsigned char>(url[0])) != 0 &&
        std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' ||
                   c == '.';
        });
    if (!scheme || colon + 3 == url.size()) {
        return "'" + legacy::printable(url) + "' is no URL (SCHEME://...)";
    }
    if (std::any_of(url.begin(), url.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; })) {
        return "the URL '" + legacy::printable(url) + "' holds a blank or a control character";
    }
    return {};
}

std::uint64_t chunk_aim_here() {
    const char* given = std::getenv("VOXLINK_ZARR_CHUNK_BYTES");
    if (given == nullptr) {
        return chunk_aim;
    }
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(given, &end, 10);
    return end != given && *end == '\0' && bytes > 0 ? bytes : chunk_aim;
}

} // namespace vox::companion
