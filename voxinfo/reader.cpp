#include "reader.hpp"

#include "keywords.hpp"
#include "values.hpp"

#include <array>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vox::info {

namespace {

__extension__ typedef unsigned __int128 uint128;

std::string to_text(uint128 value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

std::string to_text(std::uint64_t value) {
    return std::to_string(value);
}

std::string plural(std::uint64_t n, const char* one, const char* many) {
    return to_text(n) + " " + (n == 1 ? one : many);
}

// A line as it may be shown: quoted, cut short, with unprintable bytes escaped.
std::string shown(std::string_view text) {
    constexpr std::size_t longest = 60;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < longest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            constexpr char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += text.size() > longest ? "\"..." : "\"";
    return out;
}

// A line of the report, with the file's own words (paths, type words) in it: control characters
// are written as \xNN, so that no file can move the cursor or make up a line of the report.
std::string printable(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            constexpr char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// Unsigned decimal digits, nothing else, up to `largest`.
template <typename T>
bool parse_unsigned(std::string_view word, T largest, T& value) {
    if (word.empty() || word.size() > 40) {
        return false;
    }
    value = 0;
    for (const char c : word) {
        const auto digit = static_cast<unsigned>(c - '0');
        if (digit > 9 || value > (largest - digit) / 10) {
            return false;
        }
        value = static_cast<T>(value * 10 + digit);
    }
    return true;
}

struct not_in_layout {
    std::string message;
};
struct read_error {};

// Counts the bytes that go past.
class byte_counter final : public payload_sink {
  public:
    std::size_t take(const char*, std::size_t size, std::uint64_t, bool) override {
        bytes += size;
        return size;
    }
    std::uint64_t bytes = 0;
};

enum class grid_kind { uniform, rectilinear, slice_stack };
enum class dataset_kind { none, structured_points, rectilinear_grid };

const char* const axis_names[] = {"x", "y", "z"};

class inspector {
  public:
    inspector(source& from, const options& how) : in_(from), how_(how) {}
    report run();

  private:
    std::string_view next_line(const std::string& expected);
    [[noreturn]] void fail(const std::string& expected, std::string_view found) const;
    void info(const char* key, const std::string& value) {
        r_.text += std::string("  ") + key + ": " + printable(value) + "\n";
    }
    void problem(const std::string& what) {
        findings_ += "  problem: " + printable(what) + "\n";
        ++r_.problems;
    }
    void warning(const std::string& what) {
        findings_ += "  warning: " + printable(what) + "\n";
        ++r_.warnings;
    }
    void read_encoding();
    std::string grid_expected() const;
    void read_grid_lines(std::string_view line);
    std::array<double, 3> read_reals(std::string_view line, const char* keyword, std::size_t n);
    void read_array(std::string_view line, const char* keyword, std::size_t axis, const char* next,
                    bool locations);
    void read_point_data(std::string_view line);
    void read_samples();
    // The value range of the samples, then whatever of them disagrees with the header.
    void check_samples(const sample_sink& values, const std::string& where);
    void report_grid();

    input in_;
    const options& how_;
    report r_;
    std::string findings_;
    std::uint64_t line_ = 0;
    bool text_ = false;
    std::string reference_;
    dataset_kind dataset_ = dataset_kind::none;
    grid_kind grid_ = grid_kind::uniform;
    std::array<std::uint32_t, 3> dims_{};
    uint128 points_ = 0;
    std::array<double, 3> spacing_{}, origin_{};
    // The range of each coordinate array (or of the locations, as z); none when empty.
    std::array<std::optional<std::pair<std::string, std::string>>, 3> ranges_{};
    const type_info* type_ = nullptr;
    std::string type_word_;
    // Report lines known before their place in the report comes.
    std::string encoding_, arrays_;
};

[[noreturn]] void inspector::fail(const std::string& expected, std::string_view found) const {
    throw not_in_layout{"line " + to_text(line_) + ": expected " + expected + ", found " +
                        std::string(found)};
}

std::string_view inspector::next_line(const std::string& expected) {
    std::string_view line;
    ++line_;
    switch (in_.read_line(line)) {
    case line_status::ok:
        break;
    case line_status::end_of_file:
        fail(expected, "the end of the file");
    case line_status::too_long:
        fail(expected, "a line longer than " + to_text(std::uint64_t{input::max_line}) +
                           " bytes: " + shown(line));
    case line_status::unterminated:
        fail(expected, shown(line) + " and the end of the file before a line feed");
    case line_status::read_error:
        throw read_error{};
    }
    return line;
}

void inspector::read_encoding() {
    const std::string expected = std::string("\"") + keyword::binary + "\", \"" + keyword::ascii +
                                 "\" or \"" + keyword::binary_file + " PATH\"";
    const std::string_view line = next_line(expected);
    const std::string_view reference = keyword::binary_file;
    if (line == keyword::binary) {
        encoding_ = std::string(keyword::binary) + ", samples embedded";
    } else if (line == keyword::ascii) {
        text_ = true;
        encoding_ = std::string(keyword::ascii) + ", samples embedded";
    } else if (line.size() > reference.size() + 1 && line.starts_with(reference) &&
               line[reference.size()] == ' ') {
        reference_ = line.substr(reference.size() + 1);
        encoding_ = std::string(keyword::binary_file) + ", samples in " + reference_;
    } else {
        fail(expected, shown(line));
    }
}

std::array<double, 3> inspector::read_reals(std::string_view line, const char* keyword,
                                            std::size_t n) {
    const std::string expected = std::string("\"") + keyword + (n == 2 ? "  X Y\"" : "  X Y Z\"");
    const auto words = split(line);
    std::array<double, 3> values{};
    if (words.size() != n + 1 || words[0] != keyword) {
        fail(expected, shown(line));
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!parse_real(words[i + 1].data(), words[i + 1].data() + words[i + 1].size(),
                        values[i])) {
            fail(expected, shown(line));
        }
    }
    return values;
}

std::string inspector::grid_expected() const {
    const std::string spacing = std::string("\"") + keyword::spacing + "  X Y Z\"";
    const std::string coordinates = std::string("\"") + keyword::x_coordinates + " N float\"";
    switch (dataset_) {
    case dataset_kind::structured_points:
        return spacing;
    case dataset_kind::rectilinear_grid:
        return coordinates;
    case dataset_kind::none:
        break;
    }
    return spacing + " or " + coordinates;
}

void inspector::read_grid_lines(std::string_view line) {
    const auto words = split(line);
    const std::string first = words.empty() ? "" : std::string(words[0]);
    const bool uniform_allowed = dataset_ != dataset_kind::rectilinear_grid;
    const bool rectilinear_allowed = dataset_ != dataset_kind::structured_points;
    const std::string expected = grid_expected();
    if (first == keyword::spacing && uniform_allowed) {
        const bool slices = words.size() == 3 && dataset_ == dataset_kind::none;
        grid_ = slices ? grid_kind::slice_stack : grid_kind::uniform;
        const std::size_t n = slices ? 2 : 3;
        spacing_ = read_reals(line, keyword::spacing, n);
        origin_ = read_reals(next_line(std::string("\"") + keyword::origin + "  ..."),
                             keyword::origin, n);
        if (slices) {
            const std::string_view array =
                next_line(std::string("\"") + keyword::locations + " N float\"");
            read_array(array, keyword::locations, 2, keyword::point_data, true);
        }
    } else if (first == keyword::x_coordinates && rectilinear_allowed) {
        grid_ = grid_kind::rectilinear;
        read_array(line, keyword::x_coordinates, 0, keyword::y_coordinates, false);
        read_array(next_line(std::string("\"") + keyword::y_coordinates + " N float\""),
                   keyword::y_coordinates, 1, keyword::z_coordinates, false);
        read_array(next_line(std::string("\"") + keyword::z_coordinates + " N float\""),
                   keyword::z_coordinates, 2, keyword::point_data, false);
    } else {
        fail(expected, shown(line));
    }
}

void inspector::read_array(std::string_view line, const char* keyword, std::size_t axis,
                           const char* next, bool locations) {
    const std::string expected = std::string("\"") + keyword + " N float\"";
    const auto words = split(line);
    std::uint32_t count = 0;
    if (words.size() != 3 || words[0] != keyword ||
        !parse_unsigned<std::uint32_t>(words[1], 0xffffffffU, count)) {
        fail(expected, shown(line));
    }
    const std::string name = keyword;
    if (count != dims_[axis]) {
        problem(name + ": the line says " + to_text(std::uint64_t{count}) + " values, expected " +
                to_text(std::uint64_t{dims_[axis]}) + " (the " + axis_names[axis] + " dimension)");
    }
    const type_info* type = find_type(words[2]);
    if (type == nullptr && !text_) {
        warning(name + ": the type word " + shown(words[2]) +
                " has no known size; the length of the values is not checked");
    }
    array_sink values(type, text_);
    const std::uint64_t start = in_.offset();
    // A file that ends is searched to its end, so that values far too long are a problem of
    // their length; a stream that may never end only as far as such values would reach.
    const std::uint64_t limit = in_.finite()
                                    ? std::numeric_limits<std::uint64_t>::max()
                                    : (std::uint64_t{count} + 1) * 64 + (std::uint64_t{1} << 20);
    const bool found = in_.stream_until(std::string(next) + " ", limit, values);
    if (in_.read_failed()) {
        throw read_error{};
    }
    line_ += values.line_feeds();
    if (!found) {
        ++line_;
        fail(std::string("\"") + next + " ...\" after the values of " + keyword,
             in_.offset() - start > limit ? "none in " + to_text(limit) + " bytes"
                                          : std::string("the end of the file"));
    }
    if (!text_ && type != nullptr) {
        const std::uint64_t expected_bytes = std::uint64_t{count} * type->size;
        if (values.bytes() != expected_bytes) {
            problem(name + ": expected " + to_text(expected_bytes) + " bytes (" +
                    to_text(std::uint64_t{count}) + " x " + to_text(std::uint64_t{type->size}) +
                    "), found " + to_text(values.bytes()) +
                    (values.bytes() < expected_bytes ? " (too few)" : " (too many)"));
        }
    }
    if (text_) {
        if (values.values() != count) {
            problem(name + ": expected " + plural(count, "number", "numbers") + ", found " +
                    to_text(values.values()));
        }
        if (values.bad().count > 0) {
            problem(name + ": " + plural(values.bad().count, "word is", "words are") +
                    " not a number, the first " + shown(values.bad().first) + " at byte " +
                    to_text(values.bad().first_at));
        }
        if (values.bytes() > 0 && values.last_byte() != '\n' && values.last_byte() != ' ' &&
            values.last_byte() != '\t' && values.last_byte() != '\r') {
            problem(name + ": the values have no final line feed; the last runs into " + next +
                    " on line " + to_text(line_ + 1) + ", which readers cannot parse");
        }
    }
    if (values.first_not_increasing() != 0) {
        warning(name + " do not increase: " + format_number(values.it(), values.single()) +
                " follows " + format_number(values.previous_of_it(), values.single()) +
                " at value " + to_text(values.first_not_increasing() + 1));
    }
    if (values.looks_swapped()) {
        warning(name + " look little-endian: read with their bytes swapped they are plausible "
                       "and increasing; swap the bytes of each value before converting");
    }
    const std::string range = values.any() ? format_number(values.min(), values.single()) + " to " +
                                                 format_number(values.max(), values.single())
                              : values.values() > 0 ? "none finite"
                                                    : "none";
    if (values.any()) {
        ranges_[axis] = {format_number(values.min(), values.single()),
                         format_number(values.max(), values.single())};
    }
    arrays_ += std::string("  ") + (locations ? "z locations" : axis_names[axis]) + ": " +
               plural(values.values(), "value", "values") + ", " + range + "\n";
}

void inspector::read_point_data(std::string_view line) {
    const std::string expected = std::string("\"") + keyword::point_data + "  N\"";
    const auto words = split(line);
    uint128 count = 0;
    if (words.size() != 2 || words[0] != keyword::point_data ||
        !parse_unsigned<uint128>(words[1], ~uint128{0} / 16, count)) {
        fail(expected, shown(line));
    }
    if (count != points_) {
        problem(std::string(keyword::point_data) + " is " + to_text(count) + ", expected " +
                to_text(points_) + " (" + to_text(std::uint64_t{dims_[0]}) + " x " +
                to_text(std::uint64_t{dims_[1]}) + " x " + to_text(std::uint64_t{dims_[2]}) + ")");
    }
}

void inspector::check_samples(const sample_sink& values, const std::string& where) {
    if (type_ != nullptr || text_) {
        info("values", values.range() + (values.not_finite() > 0
                                             ? ", " + to_text(values.not_finite()) + " not finite"
                                             : std::string()));
    }
    const std::uint64_t bytes = values.bytes();
    if (text_) {
        if (values.values() != points_) {
            problem("samples: expected " + to_text(points_) + " numbers (the points), found " +
                    to_text(values.values()));
        }
        if (values.bad().count > 0) {
            problem("samples: " + plural(values.bad().count, "word is", "words are") +
                    " not a number of type " + type_word_ + ", the first " +
                    shown(values.bad().first) + " at byte " + to_text(values.bad().first_at));
        }
    } else if (type_ != nullptr) {
        const uint128 expected = points_ * type_->size;
        if (bytes != expected) {
            std::string what = "samples" + where + ": expected " + to_text(expected) + " bytes (" +
                               to_text(points_) + " points x " +
                               plural(type_->size, "byte", "bytes") + " of " + type_word_ +
                               "), found " + to_text(bytes) +
                               (bytes < expected ? " (too few)" : " (too many)");
            // A wrong z dimension, or a wrong type word: say what the length would fit.
            const uint128 slice = uint128{dims_[0]} * dims_[1] * type_->size;
            if (slice != 0 && bytes % slice == 0) {
                const uint128 slices = bytes / slice;
                what += "; that is " + to_text(slices) +
                        (slices == 1 ? " slice of " : " slices of ") +
                        to_text(std::uint64_t{dims_[0]}) + " x " + to_text(std::uint64_t{dims_[1]});
            }
            for (const unsigned size : {1U, 2U, 4U, 8U}) {
                if (points_ != 0 && bytes == points_ * size) {
                    what += "; that is " + plural(size, "byte", "bytes") +
                            " a point, the size of " + type_words_of_size(size);
                }
            }
            problem(what);
        }
    }
    // Byte order is judged only for a type of known size.
    if (type_ != nullptr && values.looks_swapped()) {
        warning(std::string("samples look little-endian: read with their bytes swapped they are ") +
                (type_->kind == number_kind::floating ? "finite and plausible" : "far smoother") +
                "; swap the bytes of each value before converting");
    }
}

void inspector::read_samples() {
    const std::string description =
        type_ == nullptr ? type_word_ + " (size unknown)"
                         : type_word_ + " (" + plural(type_->size, "byte", "bytes") + ")";
    if (type_ == nullptr) {
        warning("the type word " + shown(type_word_) +
                " has no known size; the length of the samples is not checked");
    }
    const type_info counted{"", 8, number_kind::floating};
    const std::uint64_t start = in_.offset();
    if (reference_.empty()) {
        sample_sink values(type_ != nullptr ? *type_ : counted, text_);
        in_.stream_to_end(values);
        if (in_.read_failed()) {
            throw read_error{};
        }
        info("samples", text_ ? type_word_ + " as text, " +
                                    plural(values.values(), "number", "numbers") + " in " +
                                    plural(values.bytes(), "byte", "bytes") + " from byte " +
                                    to_text(start)
                              : description + ", " + plural(values.bytes(), "byte", "bytes") +
                                    " from byte " + to_text(start));
        check_samples(values, "");
        return;
    }

    byte_counter rest;
    in_.stream_to_end(rest);
    if (in_.read_failed()) {
        throw read_error{};
    }
    if (rest.bytes > 0) {
        problem(std::string(keyword::binary_file) + ": " +
                plural(rest.bytes, "byte follows", "bytes follow") + " the " +
                keyword::lookup_table + " line, expected none (the samples are in " + reference_ +
                ")");
    }
    if (!how_.follow_reference) {
        info("samples", description + ", in " + reference_ + " (not looked at)");
        return;
    }
    std::string path = reference_;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const auto slash = how_.header_path.rfind('/');
        std::string beside;
        if (path[0] != '/' && slash != std::string::npos) {
            beside = how_.header_path.substr(0, slash + 1) + path;
        }
        if (beside.empty() || ::stat(beside.c_str(), &st) != 0) {
            info("samples", description + ", in " + reference_);
            problem("samples: the referenced file " + reference_ + " is not found");
            return;
        }
        warning("samples: the referenced file " + reference_ +
                " is not found from the current folder, only beside the header as " + beside +
                "; readers started elsewhere will not find it");
        path = beside;
    }
    if (!S_ISREG(st.st_mode)) {
        info("samples", description + ", in " + path);
        problem("samples: the referenced file " + path + " is not a regular file");
        return;
    }
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        info("samples", description + ", in " + path);
        problem("samples: the referenced file " + path + " cannot be opened");
        return;
    }
    fd_source file(fd);
    input samples(file);
    sample_sink values(type_ != nullptr ? *type_ : counted, false);
    samples.stream_to_end(values);
    ::close(fd);
    info("samples", description + ", " + plural(values.bytes(), "byte", "bytes") + " in " + path);
    if (samples.read_failed()) {
        problem("samples: error reading the referenced file " + path);
        return;
    }
    check_samples(values, " in " + path);
}

void inspector::report_grid() {
    std::string extent;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        extent += axis == 0 ? "" : ", ";
        extent += axis_names[axis];
        const bool from_array =
            grid_ == grid_kind::rectilinear || (grid_ == grid_kind::slice_stack && axis == 2);
        if (from_array) {
            extent += ranges_[axis] ? " " + ranges_[axis]->first + " to " + ranges_[axis]->second
                                    : " none";
        } else if (dims_[axis] == 0) {
            extent += " none";
        } else {
            const double end = origin_[axis] + (dims_[axis] - 1.0) * spacing_[axis];
            extent += " " + format_number(origin_[axis]) + " to " + format_number(end);
        }
    }
    info("extent", extent);
}

report inspector::run() {
    try {
        const std::string magic = std::string("\"") + keyword::magic + "\"";
        if (const std::string_view first = next_line(magic); first != keyword::magic) {
            fail(magic, shown(first));
        }
        next_line("a title");
        read_encoding();

        const std::string dims_text = std::string("\"") + keyword::dimensions + "  X Y Z\"";
        std::string_view line =
            next_line(std::string("\"") + keyword::dataset + " TYPE\" or " + dims_text);
        auto words = split(line);
        if (!words.empty() && words[0] == keyword::dataset) {
            const std::string expected = std::string("\"") + keyword::dataset + " " +
                                         keyword::structured_points + "\" or \"" +
                                         keyword::dataset + " " + keyword::rectilinear_grid + "\"";
            if (words.size() != 2 ||
                (words[1] != keyword::structured_points && words[1] != keyword::rectilinear_grid)) {
                fail(expected, shown(line));
            }
            dataset_ = words[1] == keyword::structured_points ? dataset_kind::structured_points
                                                              : dataset_kind::rectilinear_grid;
            line = next_line(dims_text);
            words = split(line);
        }
        if (words.size() != 4 || words[0] != keyword::dimensions) {
            fail(dims_text, shown(line));
        }
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (!parse_unsigned<std::uint32_t>(words[axis + 1], 0xffffffffU, dims_[axis])) {
                fail(dims_text, shown(line));
            }
        }
        points_ = uint128{dims_[0]} * dims_[1] * dims_[2];

        read_grid_lines(next_line(grid_expected()));
        read_point_data(next_line(std::string("\"") + keyword::point_data + "  N\""));

        const std::string scalars_text =
            std::string("\"") + keyword::scalars + " " + keyword::scalars_name + "  TYPE\"";
        line = next_line(scalars_text);
        words = split(line);
        if (words.size() < 3 || words.size() > 4 || words[0] != keyword::scalars ||
            (words.size() == 4 && words[3] != "1")) {
            fail(scalars_text, shown(line));
        }
        type_word_ = words[2];
        type_ = find_type(type_word_);
        const std::string lookup =
            std::string(keyword::lookup_table) + " " + keyword::lookup_table_name;
        line = next_line("\"" + lookup + "\"");
        words = split(line);
        if (words.size() != 2 || words[0] != keyword::lookup_table ||
            words[1] != keyword::lookup_table_name) {
            fail("\"" + lookup + "\"", shown(line));
        }

        const char* const grid_names[] = {"uniform", "rectilinear", "slice stack"};
        info("grid", grid_names[static_cast<int>(grid_)]);
        info("encoding", encoding_);
        if (dataset_ != dataset_kind::none) {
            info("dataset", dataset_ == dataset_kind::structured_points
                                ? keyword::structured_points
                                : keyword::rectilinear_grid);
        } else if (grid_ == grid_kind::slice_stack) {
            info("dataset", "none; a slice stack has no standard dataset type, so VTK's legacy "
                            "readers cannot read it");
        } else {
            info("dataset", std::string("none; VTK's legacy readers need \"") + keyword::dataset +
                                " " +
                                (grid_ == grid_kind::uniform ? keyword::structured_points
                                                             : keyword::rectilinear_grid) +
                                "\" after line 3");
        }
        info("dimensions", to_text(std::uint64_t{dims_[0]}) + " " +
                               to_text(std::uint64_t{dims_[1]}) + " " +
                               to_text(std::uint64_t{dims_[2]}));
        info("points", to_text(points_));
        if (grid_ != grid_kind::rectilinear) {
            const std::size_t n = grid_ == grid_kind::uniform ? 3 : 2;
            std::string spacing, origin;
            for (std::size_t i = 0; i < n; ++i) {
                spacing += (i == 0 ? "" : " ") + format_number(spacing_[i]);
                origin += (i == 0 ? "" : " ") + format_number(origin_[i]);
            }
            info("spacing", spacing);
            info("origin", origin);
        }
        r_.text += arrays_;
        report_grid();
        read_samples();
    } catch (const not_in_layout& error) {
        r_ = report{};
        r_.failed = report::failure::layout;
        r_.error = error.message;
        return r_;
    } catch (const read_error&) {
        r_ = report{};
        r_.failed = report::failure::reading;
        return r_;
    }
    r_.text += findings_;
    std::string result =
        r_.problems == 0 ? "consistent" : plural(r_.problems, "problem", "problems");
    if (r_.warnings > 0) {
        result += ", " + plural(r_.warnings, "warning", "warnings");
    }
    info("result", result);
    return r_;
}

} // namespace

report inspect(source& from, const options& how) {
    return inspector(from, how).run();
}

report inspect_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        report r;
        r.failed = report::failure::opening;
        return r;
    }
    fd_source file(fd);
    report r = inspect(file, {.header_path = path, .follow_reference = true});
    ::close(fd);
    return r;
}

} // namespace vox::info
