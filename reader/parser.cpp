#include "parser.hpp"

#include "keywords.hpp"
#include "strings.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <limits>

namespace vox::legacy {

namespace {

struct layout_error {
    std::string message;
};
struct refusal {
    std::string message;
};
struct read_failure {};

// Most arrays a file may hold, most tuples an array may declare, and most values (tuples times
// components) it may hold: far beyond any real file, and small enough that no byte count
// overflows, eight bytes a value.
constexpr std::size_t most_arrays = 4096;
constexpr std::uint64_t most_tuples = std::uint64_t{1} << 56;
constexpr std::uint64_t most_values = std::uint64_t{1} << 60;
// The longest keyword, TEXTURE_COORDINATES: one that ends a number lies in its last bytes.
constexpr std::size_t longest_keyword = sizeof keyword::texture_coordinates - 1;

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A name as the model keeps it: cut to longest_name bytes, but not inside a UTF-8 sequence.
std::string kept(std::string_view word) {
    if (word.size() <= longest_name) {
        return std::string(word);
    }
    std::size_t cut = longest_name;
    while (cut > 0 && (static_cast<unsigned char>(word[cut]) & 0xc0U) == 0x80U) {
        --cut;
    }
    return std::string(word.substr(0, cut)) + "...";
}

std::string to_text(std::uint64_t n) {
    return std::to_string(n);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Unsigned decimal digits, nothing else, up to `largest`.
bool parse_unsigned(std::string_view word, std::uint64_t largest, std::uint64_t& value) {
    if (word.empty() || word.size() > 20) {
        return false;
    }
    value = 0;
    for (const char c : word) {
        const auto digit = static_cast<unsigned>(c - '0');
        // A digit above `largest` would wrap the subtraction round.
        if (digit > 9 || digit > largest || value > (largest - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return true;
}

// Passes the bytes of a binary payload on and counts them.
class counting_sink final : public payload_sink {
  public:
    explicit counting_sink(payload_sink* to) : to_(to) {}
    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override {
        const std::size_t took = to_ != nullptr ? to_->take(data, size, offset, last) : size;
        bytes += took;
        return took;
    }
    std::uint64_t bytes = 0;

  private:
    payload_sink* to_;
};

// Hands the words of a text payload to a sink one at a time, and finds where the values end: in
// front of a keyword, also one that the last number runs into ("2Y_COORDINATES"), or, for the
// arrays of a FIELD block, whose names follow their values, after their count.
class text_framer final : public payload_sink {
  public:
    // `marking`: leave marks in the words (every word at first, then ever fewer).
    text_framer(value_sink* sink, std::uint64_t count, bool stop_at_count, bool marking)
        : sink_(sink), count_(count), stop_at_count_(stop_at_count),
          next_mark_(marking ? 0 : ~std::uint64_t{0}) {}

    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override {
        const char* p = data;
        const char* const end = data + size;
        if (skipping_) {
            // The rest of a word too long for a number. A keyword may end it: its last bytes stay
            // in front, offered again with the next block, until the word ends.
            while (p < end && !is_blank(*p)) {
                ++p;
            }
            if (p == end && !last) {
                return size - std::min(size, longest_keyword);
            }
            skipping_ = false;
            if (numeric_) {
                if (const char* keyword = keyword_ending(data, p)) {
                    done_ = true;
                    return static_cast<std::size_t>(keyword - data);
                }
            }
        }
        for (;;) {
            while (p < end && is_blank(*p)) {
                line_feeds_ += *p == '\n' ? 1 : 0;
                ++p;
            }
            if (p == end) {
                return size;
            }
            if (stop_at_count_ && words_ >= count_) {
                done_ = true;
                return static_cast<std::size_t>(p - data);
            }
            if (sink_ == nullptr && p > data) {
                if (const char* q = skim(p, end, offset + static_cast<std::uint64_t>(p - data));
                    q != p) {
                    p = q;
                    continue;
                }
            }
            const char* const word = p;
            bool letters = false; // any byte from 'A' on: a keyword may be in it
            while (p < end && !is_blank(*p)) {
                letters = letters || *p >= 'A';
                ++p;
            }
            if (p == end && !last) {
                // A word that may still be a number, with a keyword after it, waits for its end;
                // a longer one is none, and the sink sees its start now.
                if (static_cast<std::size_t>(p - word) <= max_word + longest_keyword) {
                    return static_cast<std::size_t>(word - data);
                }
                give(word, p, data, offset);
                skipping_ = true;
                numeric_ = starts_number(*word);
                return size - longest_keyword;
            }
            if (letters) {
                if (const char* keyword = keyword_in(word, p)) {
                    if (keyword > word) {
                        give(word, keyword, data, offset);
                    }
                    done_ = true;
                    return static_cast<std::size_t>(keyword - data);
                }
            }
            give(word, p, data, offset);
        }
    }
    bool done() const override { return done_; }

    std::uint64_t words() const { return words_; }
    std::uint64_t line_feeds() const { return line_feeds_; }
    std::vector<array_info::mark> take_marks() { return std::move(marks_); }

  private:
    static bool starts_number(char c) { return is_digit(c) || c == '-' || c == '+' || c == '.'; }

    // Sixteen bytes at a time: a comparison answers 0xff or 0 in each.
    using bytes16 = unsigned char __attribute__((vector_size(16)));
    static bytes16 load(const char* p) {
        bytes16 x;
        std::memcpy(&x, p, sizeof x);
        return x;
    }
    static bytes16 all(unsigned char c) {
        bytes16 x;
        std::memset(&x, c, sizeof x);
        return x;
    }
    static bytes16 blanks(bytes16 x) {
        return (bytes16)(x == all(' ')) | (bytes16)(x - all('\t') < all('\r' - '\t' + 1));
    }
    // The sum of the bytes, each at most 15.
    static unsigned sum(bytes16 x) {
        std::uint64_t half[2];
        std::memcpy(half, &x, sizeof half);
        constexpr std::uint64_t ones = 0x0101010101010101;
        return static_cast<unsigned>((half[0] * ones >> 56) + (half[1] * ones >> 56));
    }

    struct step_count {
        unsigned starts, feeds;
        bool plain; // bytes of blanks and numbers only: no keyword can be among them
    };
    // The words that start in the 64 bytes at `p`, and its line feeds; p[-1] is read too.
    static step_count count_step(const char* p) {
        bytes16 starts{}, feeds{}, other{};
        for (int i = 0; i < 64; i += 16) {
            const bytes16 x = load(p + i), blank = blanks(x),
                          blank_before = blanks(load(p + i - 1));
            starts -= blank_before & ~blank;
            feeds -= (bytes16)(x == all('\n'));
            const bytes16 digit = (bytes16)(x - all('0') < all(10));
            const bytes16 sign = (bytes16)(x == all('+')) | (bytes16)(x == all('-')) |
                                 (bytes16)(x == all('.')) |
                                 (bytes16)((x | all(0x20)) == all('e')); // e or E
            other |= ~(blank | digit | sign);
        }
        return {sum(starts), sum(feeds), sum(other & all(1)) == 0};
    }

    // Counts the words from `p`, where one starts after a blank, at `at` in the file, 64 bytes
    // at a time, while no step holds a byte of anything but a number (no keyword can be there),
    // a word to be marked, or the last words to count. Returns where it stopped: after a blank,
    // or at the start of the word that a step ended in; `p` when no step was whole.
    const char* skim(const char* p, const char* end, std::uint64_t at) {
        constexpr std::size_t step = 64;
        const char* const from = p;
        while (static_cast<std::size_t>(end - p) >= step && at + step <= next_mark_ &&
               (!stop_at_count_ || count_ - words_ > step)) {
            const step_count c = count_step(p);
            if (!c.plain) {
                break;
            }
            words_ += c.starts;
            line_feeds_ += c.feeds;
            p += step;
            at += step;
        }
        if (p > from && !is_blank(p[-1])) {
            // In a word: back to its start, to be read whole with what follows.
            while (!is_blank(p[-1])) {
                --p;
            }
            --words_;
        }
        return p;
    }

    // Where a keyword starts in the word: the word itself, or the rest of a number that runs
    // into it; none when there is no keyword.
    static const char* keyword_in(const char* word, const char* end) {
        if (is_keyword({word, static_cast<std::size_t>(end - word)})) {
            return word;
        }
        return starts_number(*word) ? keyword_ending(word + 1, end) : nullptr;
    }

    // Where the keyword that ends a number starts, from `from` on (after the number's first
    // byte): a letter other than an exponent's, in the last bytes; none when there is no keyword.
    static const char* keyword_ending(const char* from, const char* end) {
        if (end - from > static_cast<std::ptrdiff_t>(longest_keyword)) {
            from = end - longest_keyword;
        }
        for (const char* p = from; p < end; ++p) {
            const bool starts =
                std::isalpha(static_cast<unsigned char>(*p)) != 0 && *p != 'e' && *p != 'E';
            if (starts && is_keyword({p, static_cast<std::size_t>(end - p)})) {
                return p;
            }
        }
        return nullptr;
    }

    // The sink sees at most the start of a word too long for a number, wherever the blocks end.
    void give(const char* word, const char* word_end, const char* data, std::uint64_t offset) {
        const std::uint64_t at = offset + static_cast<std::uint64_t>(word - data);
        if (at >= next_mark_) {
            mark(at);
        }
        ++words_;
        if (sink_ != nullptr) {
            sink_->word(word, std::min(word_end, word + max_word + 1), at);
        }
    }

    // Marks the word at `at`, the next a spacing on; where the marks are as many as they may
    // be, every other goes and the spacing doubles.
    void mark(std::uint64_t at) {
        if (marks_.size() == array_info::most_marks) {
            for (std::size_t i = 0; i < marks_.size() / 2; ++i) {
                marks_[i] = marks_[2 * i];
            }
            marks_.resize(marks_.size() / 2);
            spacing_ *= 2;
        }
        if (marks_.empty() || at >= marks_.back().offset + spacing_) {
            marks_.push_back({at, words_});
        }
        next_mark_ = marks_.back().offset + spacing_;
    }

    value_sink* sink_;
    std::uint64_t count_;
    bool stop_at_count_;
    bool skipping_ = false;
    bool numeric_ = false; // the word being skipped starts as a number does
    bool done_ = false;
    std::uint64_t words_ = 0, line_feeds_ = 0;
    std::vector<array_info::mark> marks_;
    std::uint64_t spacing_ = 1, next_mark_;
};

class parser;

// Where a keyword may stand: among the geometry, before the first data section; in a data
// section; or anywhere after the encoding.
enum class place { geometry, data, anywhere };

struct rule {
    const char* word;
    void (parser::*read)();
    place where;
};

class parser {
  public:
    parser(source& from, file_model& model, value_provider* values)
        : in_(from), m_(model), values_(values) {}

    void run();

    void dataset();
    void dimensions();
    void spacing();
    void origin();
    void x_coordinates() { coordinates(0, keyword::y_coordinates); }
    void y_coordinates() { coordinates(1, keyword::z_coordinates); }
    void z_coordinates() { coordinates(2, keyword::point_data); }
    void locations();
    void field();
    void point_data() { data_section(section::point_data, m_.point_data); }
    void cell_data() { data_section(section::cell_data, m_.cell_data); }
    void scalars();
    void color_scalars();
    void vectors() { attribute_of(attribute::vectors, 3); }
    void normals() { attribute_of(attribute::normals, 3); }
    void texture_coordinates();
    void tensors() { attribute_of(attribute::tensors, 9); }
    void tensors6() { attribute_of(attribute::tensors, 6); }
    void lookup_table();
    void metadata();

  private:
    [[noreturn]] void fail(const std::string& expected, const std::string& found) const;
    std::string where() const {
        return in_.lines_known() ? "line " + to_text(in_.line()) : "byte " + to_text(in_.offset());
    }
    std::string_view next_word(const std::string& expected);
    std::uint64_t next_count(const std::string& expected, std::uint64_t largest);
    unsigned next_components(const std::string& expected, unsigned largest);
    double next_real(const std::string& expected);
    bool number_follows();
    std::string expected_here() const;
    void header();
    void finish();
    void coordinates(std::size_t axis, const char* next);
    void data_section(section which, std::optional<std::uint64_t>& count);
    void attribute_of(attribute kind, unsigned components);
    array_info& add_array(attribute kind, std::string name, std::string type_word,
                          unsigned components, std::uint64_t tuples);
    // The values of an array, one small function for each framing, chosen by the keyword's
    // handler: text; binary of a known count; binary that a converter copied up to `next`.
    value_sink* sink_for(const array_info& array);
    void read_values(array_info& array);
    void read_values_up_to(array_info& array, const char* next);
    void read_text(array_info& array, value_sink* sink);
    void read_counted(array_info& array, value_sink* sink);
    void read_until(array_info& array, value_sink* sink, const char* next);
    void read_strings(array_info& array, string_framing how);
    void read_reference_tail();
    std::uint64_t tuples_here() const;
    std::string_view type_word(const std::string& expected, bool in_field = false);

    input in_;
    file_model& m_;
    value_provider* values_;
    section current_ = section::geometry;
    std::string keyword_; // the keyword being read, as written
    std::uint64_t keyword_line_ = 0;
    bool any_keyword_ = false;
    bool finished_ = false;
    std::array<bool, 3> axes_{};
    bool locations_ = false;
};

const rule grammar[] = {
    {keyword::dataset, &parser::dataset, place::geometry},
    {keyword::dimensions, &parser::dimensions, place::geometry},
    {keyword::spacing, &parser::spacing, place::geometry},
    {keyword::aspect_ratio, &parser::spacing, place::geometry},
    {keyword::origin, &parser::origin, place::geometry},
    {keyword::x_coordinates, &parser::x_coordinates, place::geometry},
    {keyword::y_coordinates, &parser::y_coordinates, place::geometry},
    {keyword::z_coordinates, &parser::z_coordinates, place::geometry},
    {keyword::locations, &parser::locations, place::geometry},
    {keyword::field, &parser::field, place::anywhere},
    {keyword::point_data, &parser::point_data, place::anywhere},
    {keyword::cell_data, &parser::cell_data, place::anywhere},
    {keyword::scalars, &parser::scalars, place::data},
    {keyword::color_scalars, &parser::color_scalars, place::data},
    {keyword::vectors, &parser::vectors, place::data},
    {keyword::normals, &parser::normals, place::data},
    {keyword::texture_coordinates, &parser::texture_coordinates, place::data},
    {keyword::tensors, &parser::tensors, place::data},
    {keyword::tensors6, &parser::tensors6, place::data},
    {keyword::lookup_table, &parser::lookup_table, place::data},
    {keyword::metadata, &parser::metadata, place::anywhere},
};

const rule* find_rule(std::string_view word) {
    for (const rule& r : grammar) {
        if (same_word(word, r.word)) {
            return &r;
        }
    }
    return nullptr;
}

void parser::fail(const std::string& expected, const std::string& found) const {
    throw layout_error{where() + ": expected " + expected + ", found " + found};
}

std::string_view parser::next_word(const std::string& expected) {
    std::string_view word;
    switch (in_.read_word(word)) {
    case line_status::ok:
        return word;
    case line_status::read_error:
        throw read_failure{};
    case line_status::too_long:
        fail(expected, "a word longer than " + to_text(input::max_line) + " bytes: " + shown(word));
    case line_status::end_of_file:
    case line_status::unterminated:
        break;
    }
    fail(expected, "the end of the file");
}

std::uint64_t parser::next_count(const std::string& expected, std::uint64_t largest) {
    const std::string_view word = next_word(expected);
    std::uint64_t value = 0;
    if (!parse_unsigned(word, largest, value)) {
        fail(expected, shown(word));
    }
    return value;
}

unsigned parser::next_components(const std::string& expected, unsigned largest) {
    const auto n = static_cast<unsigned>(next_count(expected, largest));
    if (n == 0) {
        fail(expected + " with at least one component", "0");
    }
    return n;
}

double parser::next_real(const std::string& expected) {
    const std::string_view word = next_word(expected);
    double value = 0;
    if (!parse_real(word.data(), word.data() + word.size(), value)) {
        fail(expected, shown(word));
    }
    return value;
}

bool parser::number_follows() {
    std::string_view word;
    if (in_.peek_word(word) != line_status::ok) {
        return false;
    }
    double value = 0;
    return parse_real(word.data(), word.data() + word.size(), value);
}

std::string parser::expected_here() const {
    if (current_ != section::geometry) {
        return "an attribute such as \"" + std::string(keyword::scalars) + " NAME TYPE\", or \"" +
               keyword::point_data + " N\" or \"" + keyword::cell_data + " N\"";
    }
    if (m_.dataset == dataset_kind::structured_points ||
        (m_.dataset == dataset_kind::none && m_.spacing_given)) {
        return "\"" + std::string(keyword::spacing) + "  X Y Z\", \"" + keyword::origin +
               "  X Y Z\" or \"" + keyword::point_data + "  N\"";
    }
    if (m_.dataset == dataset_kind::rectilinear_grid) {
        return "\"" + std::string(keyword::x_coordinates) + " N TYPE\" or \"" +
               keyword::point_data + "  N\"";
    }
    return "\"" + std::string(keyword::spacing) + "  X Y Z\" or \"" + keyword::x_coordinates +
           " N float\"";
}

void parser::header() {
    std::string_view line;
    const std::string magic = quoted(std::string(keyword::magic_prefix) + "N.M");
    switch (in_.read_line(line)) {
    case line_status::ok:
    case line_status::unterminated:
        break;
    case line_status::read_error:
        throw read_failure{};
    case line_status::end_of_file:
        fail(magic, "the end of the file");
    case line_status::too_long:
        fail(magic, "a line longer than " + to_text(input::max_line) + " bytes: " + shown(line));
    }
    const std::optional<std::string_view> version = magic_version(line);
    if (!version) {
        throw layout_error{"line 1: expected " + magic + ", found " + shown(line)};
    }
    m_.version = *version;

    const line_status title = in_.read_line(line);
    if (title == line_status::read_error) {
        throw read_failure{};
    }
    if (title != line_status::ok) {
        fail("a title", "the end of the file");
    }
    m_.title = line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;

    const std::string expected = quoted(keyword::binary) + ", " + quoted(keyword::ascii) + " or " +
                                 quoted(std::string(keyword::binary_file) + " PATH");
    const std::string_view word = next_word(expected);
    m_.encoding_word = word;
    if (same_word(word, keyword::binary)) {
        m_.coding = encoding::binary;
    } else if (same_word(word, keyword::ascii)) {
        m_.coding = encoding::ascii;
    } else if (word == keyword::binary_file) {
        // The path is the rest of the line after one blank, as the converters write it. Reading
        // it may move the buffer that `word` shows: the message takes the copy.
        std::string_view rest;
        const line_status status = in_.read_line(rest);
        if (status == line_status::read_error) {
            throw read_failure{};
        }
        if (status != line_status::ok || rest.size() < 2 || rest[0] != ' ') {
            fail(expected, shown(m_.encoding_word + std::string(rest)));
        }
        m_.coding = encoding::binary_file;
        m_.reference = rest.substr(1);
    } else {
        fail(expected, shown(word));
    }
}

void parser::dataset() {
    if (any_keyword_) {
        fail(expected_here(), quoted(keyword_));
    }
    const std::string expected =
        quoted(std::string(keyword::dataset) + " " + keyword::structured_points) + " or " +
        quoted(std::string(keyword::dataset) + " " + keyword::rectilinear_grid);
    const std::string_view word = next_word(expected);
    if (same_word(word, keyword::structured_points)) {
        m_.dataset = dataset_kind::structured_points;
    } else if (same_word(word, keyword::rectilinear_grid)) {
        m_.dataset = dataset_kind::rectilinear_grid;
        m_.grid = grid_kind::rectilinear;
    } else if (same_word(word, keyword::polydata) || same_word(word, keyword::structured_grid) ||
               same_word(word, keyword::unstructured_grid)) {
        throw refusal{where() + ": " + keyword_ + " " + std::string(word) +
                      ", whose points are listed one by one; only " + keyword::structured_points +
                      " and " + keyword::rectilinear_grid + " files are read"};
    } else {
        fail(expected, shown(word));
    }
}

void parser::dimensions() {
    const std::string expected = quoted(std::string(keyword::dimensions) + "  X Y Z");
    for (std::uint32_t& d : m_.dimensions) {
        d = static_cast<std::uint32_t>(next_count(expected, 0xffffffffU));
    }
    m_.has_dimensions = true;
}

void parser::spacing() {
    // The converters' slice stacks give two values; everything else three.
    const std::string expected = quoted(keyword_ + "  X Y Z");
    m_.spacing[0] = next_real(expected);
    m_.spacing[1] = next_real(expected);
    const bool two = m_.dataset == dataset_kind::none && !number_follows() &&
                     (!m_.origin_given || m_.reals == 2);
    m_.reals = two ? 2 : 3;
    m_.spacing[2] = two ? 1 : next_real(expected);
    m_.spacing_given = true;
    m_.spacing_keyword = keyword_;
}

void parser::origin() {
    const std::string expected = quoted(keyword_ + (m_.reals == 2 ? "  X Y" : "  X Y Z"));
    m_.origin[0] = next_real(expected);
    m_.origin[1] = next_real(expected);
    const bool two = m_.dataset == dataset_kind::none && !number_follows() &&
                     (!m_.spacing_given || m_.reals == 2);
    m_.reals = two ? 2 : 3;
    m_.origin[2] = two ? 0 : next_real(expected);
    m_.origin_given = true;
}

std::string_view parser::type_word(const std::string& expected, bool in_field) {
    const std::string_view word = next_word(expected);
    // Values that are no numbers, which VTK's reader takes in a FIELD block only.
    if (!in_field && string_framing_of(word, false) != string_framing::none) {
        // The keyword, or the name of a FIELD array, which may hold any byte.
        throw refusal{where() + ": " + shown(keyword_) + " holds " + std::string(word) +
                      " values; only arrays of numbers are read"};
    }
    return word;
}

void parser::coordinates(std::size_t axis, const char* next) {
    const std::string expected = quoted(keyword_ + " N TYPE");
    const std::uint64_t count = next_count(expected, most_tuples);
    const std::string type = std::string(type_word(expected));
    array_info& a = add_array(attribute::coordinates, keyword_, type, 1, count);
    a.axis = axis;
    axes_[axis] = true;
    if (m_.dataset == dataset_kind::none) {
        read_values_up_to(a, next);
    } else {
        read_values(a);
    }
}

void parser::locations() {
    if (m_.dataset != dataset_kind::none) {
        fail(expected_here(), quoted(keyword_));
    }
    const std::string expected = quoted(keyword_ + " N float");
    const std::uint64_t count = next_count(expected, most_tuples);
    const std::string type = std::string(type_word(expected));
    array_info& a = add_array(attribute::coordinates, keyword_, type, 1, count);
    a.axis = 2;
    locations_ = true;
    read_values_up_to(a, keyword::point_data);
}

void parser::data_section(section which, std::optional<std::uint64_t>& count) {
    count = next_count(quoted(keyword_ + " N"), most_tuples);
    current_ = which;
}

std::uint64_t parser::tuples_here() const {
    return current_ == section::cell_data ? m_.cell_data.value_or(0) : m_.point_data.value_or(0);
}

void parser::scalars() {
    const std::string expected = quoted(keyword_ + " NAME TYPE") + " and " +
                                 quoted(std::string(keyword::lookup_table) + " NAME");
    const std::string name(next_word(expected));
    const std::string type(type_word(expected));
    std::string_view word = next_word(expected);
    unsigned components = 1;
    if (!same_word(word, keyword::lookup_table)) {
        std::uint64_t n = 0;
        if (!parse_unsigned(word, 0xffffffffU, n)) {
            fail(quoted(std::string(keyword::lookup_table) + " NAME"), shown(word));
        }
        if (n == 0 || n > 9) {
            fail(quoted(keyword_ + " NAME TYPE N") + " with 1 to 9 components", shown(word));
        }
        components = static_cast<unsigned>(n);
        word = next_word(expected);
        if (!same_word(word, keyword::lookup_table)) {
            fail(quoted(std::string(keyword::lookup_table) + " NAME"), shown(word));
        }
    }
    const std::string table(next_word(quoted(std::string(keyword::lookup_table) + " NAME")));
    array_info& a = add_array(attribute::scalars, name, type, components, tuples_here());
    a.lookup_table = kept(table);
    if (m_.coding == encoding::binary_file && m_.samples && &m_.arrays[*m_.samples] == &a) {
        read_reference_tail();
        return;
    }
    read_values(a);
}

void parser::color_scalars() {
    const std::string expected = quoted(keyword_ + " NAME N");
    const std::string name(next_word(expected));
    const unsigned components = next_components(expected, 16);
    // Bytes in binary, reals from 0 to 1 in text: VTK keeps both as unsigned_char.
    array_info& a =
        add_array(attribute::color_scalars, name, "unsigned_char", components, tuples_here());
    read_values(a);
}

void parser::attribute_of(attribute kind, unsigned components) {
    const std::string expected = quoted(keyword_ + " NAME TYPE");
    const std::string name(next_word(expected));
    const std::string type(type_word(expected));
    array_info& a = add_array(kind, name, type, components, tuples_here());
    read_values(a);
}

void parser::texture_coordinates() {
    const std::string expected = quoted(keyword_ + " NAME DIMENSION TYPE");
    const std::string name(next_word(expected));
    const unsigned components = next_components(expected, 3);
    const std::string type(type_word(expected));
    array_info& a =
        add_array(attribute::texture_coordinates, name, type, components, tuples_here());
    read_values(a);
}

void parser::lookup_table() {
    const std::string expected = quoted(keyword_ + " NAME N");
    const std::string name(next_word(expected));
    const std::uint64_t size = next_count(expected, most_tuples);
    // Four components a colour: bytes in binary, reals from 0 to 1 in text.
    array_info& a = add_array(attribute::lookup_table, name,
                              m_.coding == encoding::ascii ? "float" : "unsigned_char", 4, size);
    read_values(a);
}

void parser::field() {
    if (!any_keyword_ && m_.dataset == dataset_kind::none) {
        throw refusal{where() + ": a file of FIELD arrays only, without a grid; only " +
                      std::string(keyword::structured_points) + " and " +
                      keyword::rectilinear_grid + " files are read"};
    }
    const std::string expected = quoted(keyword_ + " NAME N");
    next_word(expected);
    const std::uint64_t arrays = next_count(expected, most_arrays);
    const section where = current_ == section::geometry ? section::field_data : current_;
    const std::string block = keyword_;
    for (std::uint64_t i = 0; i < arrays; ++i) {
        const std::string array_expected = quoted("NAME COMPONENTS TUPLES TYPE") + " (array " +
                                           to_text(i + 1) + " of the " + block + ")";
        keyword_line_ = in_.line();
        const std::string name(next_word(array_expected));
        if (name == keyword::null_array) {
            continue;
        }
        keyword_ = name; // as a refusal of its type names it
        const auto components = static_cast<unsigned>(next_count(array_expected, 1 << 16));
        const std::uint64_t tuples = next_count(array_expected, most_tuples);
        const std::string type(type_word(array_expected, true));
        keyword_ = block; // as the array keeps it
        array_info& a = add_array(attribute::field, name, type, components, tuples);
        a.where = where;
        if (const string_framing how = string_framing_of(type, m_.coding != encoding::ascii);
            how != string_framing::none) {
            read_strings(a, how);
        } else {
            read_values(a);
        }
        std::string_view word;
        if (in_.peek_word(word) == line_status::ok && same_word(word, keyword::metadata)) {
            in_.read_word(word);
            metadata();
        }
    }
}

void parser::metadata() {
    // Component names and information keys, a line each, up to an empty line.
    in_.skip_line();
    for (;;) {
        std::string_view line;
        const line_status status = in_.read_line(line);
        if (status == line_status::read_error) {
            throw read_failure{};
        }
        if (status == line_status::too_long) {
            fail("a line of METADATA", "a line longer than " + to_text(input::max_line) + " bytes");
        }
        if (status != line_status::ok ||
            std::all_of(line.begin(), line.end(), [](char c) { return is_blank(c); })) {
            break;
        }
    }
    if (!m_.arrays.empty()) {
        m_.arrays.back().metadata = true;
    }
}

array_info& parser::add_array(attribute kind, std::string name, std::string type_word,
                              unsigned components, std::uint64_t tuples) {
    if (m_.arrays.size() == most_arrays) {
        throw layout_error{where() + ": more than " + to_text(most_arrays) + " arrays"};
    }
    if (components != 0 && tuples > most_values / components) {
        throw layout_error{where() + ": " + shown(name) + " declares " + to_text(components) +
                           " x " + to_text(tuples) + " values, more than " + to_text(most_values)};
    }
    array_info a;
    a.kind = kind;
    a.where = kind == attribute::coordinates ? section::geometry : current_;
    a.keyword = keyword_;
    a.line = keyword_line_;
    a.type = find_type(type_word);
    a.name = kept(name);
    a.type_word = kept(type_word);
    a.components = components;
    a.tuples = tuples;
    m_.arrays.push_back(std::move(a));
    if (!m_.samples && current_ == section::point_data &&
        (kind == attribute::scalars || kind == attribute::color_scalars)) {
        m_.samples = m_.arrays.size() - 1;
    }
    return m_.arrays.back();
}

value_sink* parser::sink_for(const array_info& a) {
    return values_ != nullptr ? values_->values_of(m_, a) : nullptr;
}

void parser::read_values(array_info& a) {
    value_sink* sink = sink_for(a);
    if (m_.coding == encoding::ascii) {
        read_text(a, sink);
    } else {
        read_counted(a, sink);
    }
}

void parser::read_values_up_to(array_info& a, const char* next) {
    value_sink* sink = sink_for(a);
    if (m_.coding == encoding::ascii) {
        read_text(a, sink);
    } else {
        read_until(a, sink, next);
    }
}

void parser::read_text(array_info& a, value_sink* sink) {
    // Text values run up to the next keyword or the end of the file, white space included.
    in_.skip_line_end();
    a.offset = in_.offset();
    const bool samples = m_.samples && &m_.arrays[*m_.samples] == &a;
    text_framer framer(sink, a.values(), a.kind == attribute::field, samples);
    in_.stream_to_end(framer);
    if (in_.read_failed()) {
        throw read_failure{};
    }
    a.words = framer.words();
    a.marks = framer.take_marks();
    a.bytes = in_.offset() - a.offset;
    in_.count_lines(framer.line_feeds());
}

void parser::read_until(array_info& a, value_sink* sink, const char* next) {
    // Binary values start on the line after their keyword, as VTK's reader takes them. The
    // converters copy coordinate and location files as they are: their values run up to the
    // next keyword, whatever their length. A file that ends is searched to its end; a stream
    // that may never end only as far as such values would reach.
    in_.skip_line();
    a.offset = in_.offset();
    counting_sink counted(sink);
    const std::uint64_t limit = in_.finite() ? std::numeric_limits<std::uint64_t>::max()
                                             : (a.tuples + 1) * 64 + (std::uint64_t{1} << 20);
    const bool found = in_.stream_until(next, limit, counted);
    if (in_.read_failed()) {
        throw read_failure{};
    }
    a.bytes = counted.bytes;
    in_.lose_lines();
    if (!found) {
        fail(quoted(std::string(next) + " ...") + " after the values of " + a.keyword,
             counted.bytes > limit ? "none in " + to_text(limit) + " bytes"
                                   : std::string("the end of the file"));
    }
}

void parser::read_counted(array_info& a, value_sink* sink) {
    // Binary values start on the line after their keyword, as VTK's reader takes them.
    in_.skip_line();
    a.offset = in_.offset();
    counting_sink counted(sink);
    if (a.type == nullptr) {
        // Of unknown size: the rest of the file.
        in_.stream_to_end(counted);
    } else {
        const std::uint64_t expected = a.type->bytes_of(a.values());
        // Values that nothing wants are passed over, unread where the source allows.
        const std::uint64_t got =
            sink != nullptr ? in_.stream_count(expected, counted) : in_.skip_count(expected);
        if (sink == nullptr) {
            counted.bytes = got;
        }
        // What follows must be white space (VTK writes a line feed) and the next keyword, or
        // the end of the file; anything else is more of these values, of a wrong length. In a
        // FIELD block the next array's name follows instead.
        std::string_view word;
        if (got == expected && a.kind != attribute::field && in_.skip_blanks() &&
            !(in_.peek_word(word) == line_status::ok && is_keyword(word))) {
            const std::uint64_t before = in_.offset();
            in_.stream_to_end(counted);
            counted.bytes += before - (a.offset + got);
        }
    }
    if (in_.read_failed()) {
        throw read_failure{};
    }
    a.bytes = counted.bytes;
    if (a.bytes > 0) {
        in_.lose_lines();
    }
}

void parser::read_strings(array_info& a, string_framing how) {
    // Strings start on the line after their type word, as VTK's reader takes them; variants are
    // words wherever they stand.
    if (how != string_framing::word_pairs) {
        in_.skip_line();
    }
    a.offset = in_.offset();
    a.strings = true;
    string_framer framer(how, a.values());
    in_.stream_to_end(framer);
    if (in_.read_failed()) {
        throw read_failure{};
    }
    a.words = framer.found();
    a.bytes = in_.offset() - a.offset;
    if (how == string_framing::lengths && a.bytes > 0) {
        in_.lose_lines();
    } else {
        in_.count_lines(framer.line_feeds());
    }
}

void parser::read_reference_tail() {
    // The samples are in the named file: nothing should follow the header.
    in_.skip_line();
    m_.arrays.back().offset = in_.offset();
    counting_sink rest(nullptr);
    in_.stream_to_end(rest);
    if (in_.read_failed()) {
        throw read_failure{};
    }
    m_.trailing = rest.bytes;
    finished_ = true;
}

void parser::finish() {
    if (!m_.has_dimensions) {
        fail(quoted(std::string(keyword::dimensions) + "  X Y Z"), "the end of the file");
    }
    if (m_.dataset == dataset_kind::none) {
        if (locations_) {
            m_.grid = grid_kind::slice_stack;
        } else if (axes_[0] || axes_[1] || axes_[2]) {
            m_.grid = grid_kind::rectilinear;
        } else if (!m_.spacing_given) {
            fail(expected_here(), "the end of the file");
        }
        if (m_.grid != grid_kind::rectilinear && !m_.origin_given) {
            fail(quoted(std::string(keyword::origin) + (m_.reals == 2 ? "  X Y" : "  X Y Z")),
                 "the end of the file");
        }
    }
    if (m_.grid == grid_kind::rectilinear && m_.dataset == dataset_kind::none) {
        // VTK's reader takes a rectilinear grid without some of its arrays; the converters
        // always write all three.
        const char* const names[] = {keyword::x_coordinates, keyword::y_coordinates,
                                     keyword::z_coordinates};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            if (!axes_[axis]) {
                fail(quoted(std::string(names[axis]) + " N TYPE"), "the end of the file");
            }
        }
    }
}

void parser::run() {
    header();
    while (!finished_) {
        keyword_line_ = in_.line();
        std::string_view word;
        const line_status status = in_.read_word(word);
        if (status == line_status::read_error) {
            throw read_failure{};
        }
        if (status == line_status::end_of_file) {
            break;
        }
        if (status == line_status::too_long) {
            fail(expected_here(),
                 "a word longer than " + to_text(input::max_line) + " bytes: " + shown(word));
        }
        const rule* r = find_rule(word);
        const bool allowed =
            r != nullptr && (r->where == place::anywhere ||
                             (r->where == place::geometry) == (current_ == section::geometry));
        if (!allowed) {
            fail(expected_here(), shown(word));
        }
        keyword_ = word;
        (this->*r->read)();
        any_keyword_ = true;
    }
    finish();
}

} // namespace

std::optional<std::string_view> magic_version(std::string_view line) {
    // "# vtk DataFile Version" exactly, then the version after any blanks; VTK's reader takes
    // whatever follows that.
    const std::string_view prefix(keyword::magic_prefix, sizeof keyword::magic_prefix - 2);
    std::size_t i = prefix.size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    std::size_t end = i;
    while (end < line.size() && (is_digit(line[end]) || line[end] == '.')) {
        ++end;
    }
    const std::string_view version = line.substr(std::min(i, line.size()), end - i);
    const auto dot = version.find('.');
    if (!line.starts_with(prefix) || i == prefix.size() || dot == 0 ||
        dot == std::string_view::npos || dot + 1 == version.size()) {
        return std::nullopt;
    }
    return version;
}

bool same_word(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool is_keyword(std::string_view word) {
    return find_rule(word) != nullptr;
}

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

parse_result parse(source& from, file_model& model, value_provider* values) {
    model = file_model{};
    parse_result result;
    try {
        parser(from, model, values).run();
    } catch (const layout_error& e) {
        result.failed = parse_result::failure::layout;
        result.message = e.message;
    } catch (const refusal& e) {
        result.failed = parse_result::failure::refused;
        result.message = e.message;
    } catch (const read_failure&) {
        result.failed = parse_result::failure::reading;
    }
    return result;
}

} // namespace vox::legacy
