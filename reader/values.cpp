#include "values.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vox::legacy {

namespace {

constexpr type_info types[] = {
    {"bit", 1, number_kind::bit},
    {"unsigned_char", 1, number_kind::unsigned_integer},
    {"char", 1, number_kind::signed_integer},
    {"signed_char", 1, number_kind::signed_integer},
    {"short", 2, number_kind::signed_integer},
    {"unsigned_short", 2, number_kind::unsigned_integer},
    {"int", 4, number_kind::signed_integer},
    {"unsigned_int", 4, number_kind::unsigned_integer},
    {"long", 8, number_kind::signed_integer},
    {"unsigned_long", 8, number_kind::unsigned_integer},
    {"vtkIdType", 4, number_kind::signed_integer}, // VTK writes ids as 4-byte ints
    {"vtktypeint64", 8, number_kind::signed_integer},
    {"vtktypeuint64", 8, number_kind::unsigned_integer},
    {"float", 4, number_kind::floating},
    {"double", 8, number_kind::floating},
};

constexpr std::size_t shown_word = 32;
// Whether a real read from text is one that VTK's reader reads into a float: below halfway between
// FLT_MAX and the next power of two, where rounding to a float starts to give an infinity (as
// 3.4028235e38, the shortest form of FLT_MAX, still reads).
bool float_reads(double value) {
    return std::fabs(value) < static_cast<double>(std::numeric_limits<float>::max()) + 0x1p103;
}

} // namespace

integer_word parse_integer(const char* p, const char* end) {
    integer_word result{false, false, 0};
    if (p < end && (*p == '-' || *p == '+')) {
        result.negative = *p == '-';
        ++p;
    }
    if (p == end || end - p > 20) {
        return result;
    }
    std::uint64_t value = 0;
    for (; p < end; ++p) {
        const auto digit = static_cast<unsigned>(*p - '0');
        if (digit > 9 || value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return result;
        }
        value = value * 10 + digit;
    }
    result.ok = true;
    result.magnitude = value;
    return result;
}

// A whole word as a real number, as a stream reads a double; false when it is none.
bool parse_real(const char* p, const char* end, double& value) {
    if (plain_decimal(p, end, value) == end) {
        return true;
    }
    if (const integer_word i = parse_integer(p, end); i.ok) {
        value = static_cast<double>(i.magnitude);
        value = i.negative ? -value : value;
        return true;
    }
    if (static_cast<std::size_t>(end - p) > max_word) {
        return false;
    }
    const bool plus = p < end && *p == '+';
    if (plus) {
        ++p;
    }
    if (plus && p < end && *p == '-') {
        return false;
    }
    const auto [stop, error] = std::from_chars(p, end, value);
    if (stop != end || stop == p) {
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        // Beyond the range of a double: strtod tells an infinity from zero.
        char copy[max_word + 1];
        const auto length = std::min(static_cast<std::size_t>(end - p), max_word);
        std::memcpy(copy, p, length);
        copy[length] = '\0';
        value = std::strtod(copy, nullptr);
    }
    return error == std::errc() || error == std::errc::result_out_of_range;
}

namespace {

template <typename T>
using unsigned_of = std::conditional_t<
    sizeof(T) == 1, std::uint8_t,
    std::conditional_t<sizeof(T) == 2, std::uint16_t,
                       std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;

// The value at `p` read big-endian, as readers of the layout read it, or the other way round.
template <typename T, bool Swapped = false>
T load(const char* p) {
    using U = unsigned_of<T>;
    U u;
    std::memcpy(&u, p, sizeof u);
    if ((std::endian::native == std::endian::little) != Swapped) {
        u = byte_swapped(u);
    }
    return std::bit_cast<T>(u);
}

template <typename T>
bool odd_value(T value) {
    // What no measurement holds, but bytes in the wrong order readily give.
    constexpr double small = sizeof(T) == 4 ? 1e-30 : 1e-100;
    constexpr double large = sizeof(T) == 4 ? 1e30 : 1e100;
    const double v = std::fabs(static_cast<double>(value));
    return !std::isfinite(v) || (v != 0 && (v < small || v > large));
}

// Weighs the values of a block as written and swapped; `n` of them.
template <typename T>
void weigh_block(const char* p, std::size_t n, order_evidence::state& s) {
    s.values += n;
    for (std::size_t i = 0; i < n; ++i) {
        const T v = load<T>(p + i * sizeof(T));
        const T w = load<T, true>(p + i * sizeof(T));
        if constexpr (std::is_floating_point_v<T>) {
            if (v != 0 || std::signbit(v)) {
                s.odd += odd_value(v) ? 1 : 0;
                s.odd_swapped += odd_value(w) ? 1 : 0;
                ++s.checked;
            }
        } else if (i > 0) {
            s.steps += std::fabs(static_cast<double>(v) -
                                 static_cast<double>(load<T>(p + (i - 1) * sizeof(T))));
            s.steps_swapped +=
                std::fabs(static_cast<double>(w) -
                          static_cast<double>(load<T, true>(p + (i - 1) * sizeof(T))));
            ++s.pairs;
        }
    }
}

// The range of `n` values, with the top bit flipped by `flip`.
template <typename S>
[[gnu::always_inline]] inline void range_of(const char* p, std::size_t n, S flip, S& lowest,
                                            S& highest) {
    S lo = lowest;
    S hi = highest;
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<S>(load<S>(p + i * sizeof(S)) ^ flip);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    lowest = lo;
    highest = hi;
}

// The loop of each width, built for AVX2 as well and taken where the processor has it.
#define VOX_RANGE_OF(S)                                                                            \
    __attribute__((target_clones("avx2", "default"))) void range_of_##S(                           \
        const char* p, std::size_t n, S flip, S& lowest, S& highest) {                             \
        range_of<S>(p, n, flip, lowest, highest);                                                  \
    }
VOX_RANGE_OF(int8_t)
VOX_RANGE_OF(int16_t)
VOX_RANGE_OF(int32_t)
VOX_RANGE_OF(int64_t)
#undef VOX_RANGE_OF

void range_any(const char* p, std::size_t n, std::int8_t flip, std::int8_t& lo, std::int8_t& hi) {
    range_of_int8_t(p, n, flip, lo, hi);
}
void range_any(const char* p, std::size_t n, std::int16_t flip, std::int16_t& lo,
               std::int16_t& hi) {
    range_of_int16_t(p, n, flip, lo, hi);
}
void range_any(const char* p, std::size_t n, std::int32_t flip, std::int32_t& lo,
               std::int32_t& hi) {
    range_of_int32_t(p, n, flip, lo, hi);
}
void range_any(const char* p, std::size_t n, std::int64_t flip, std::int64_t& lo,
               std::int64_t& hi) {
    range_of_int64_t(p, n, flip, lo, hi);
}

template <typename T>
void scan_integers(const char* p, std::size_t n, sample_sink::state& s) {
    // Unsigned values are ranged as signed ones with the top bit flipped, which keeps their order:
    // vector units compare signed values of every width, unsigned ones of only some.
    using S = std::make_signed_t<T>;
    constexpr auto flip = static_cast<S>(std::is_signed_v<T> ? 0 : std::numeric_limits<S>::min());
    S lo = std::numeric_limits<S>::max();
    S hi = std::numeric_limits<S>::min();
    range_any(p, n, flip, lo, hi);
    if constexpr (std::is_signed_v<T>) {
        if (n == 0) {
            return;
        }
        s.smin = std::min<std::int64_t>(s.smin, lo);
        s.smax = std::max<std::int64_t>(s.smax, hi);
    } else if (n > 0) {
        s.umin = std::min<std::uint64_t>(s.umin, static_cast<T>(lo ^ flip));
        s.umax = std::max<std::uint64_t>(s.umax, static_cast<T>(hi ^ flip));
    }
}

template <typename T>
std::uint64_t scan_reals(const char* p, std::size_t n, sample_sink::state& s) {
    double lo = s.fmin;
    double hi = s.fmax;
    std::uint64_t not_finite = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = load<T>(p + i * sizeof(T));
        if (std::isfinite(v)) {
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        } else {
            ++not_finite;
        }
    }
    s.fmin = lo;
    s.fmax = hi;
    return not_finite;
}

} // namespace

void word_tally::note(const char* word, const char* end, std::uint64_t offset) {
    if (count++ == 0) {
        first.assign(word, std::min<std::size_t>(static_cast<std::size_t>(end - word), shown_word));
        first_at = offset;
    }
}

const type_info* find_type(std::string_view word) {
    for (const type_info& type : types) {
        if (std::equal(type.word.begin(), type.word.end(), word.begin(), word.end(),
                       [](char a, char b) {
                           return std::tolower(static_cast<unsigned char>(a)) ==
                                  std::tolower(static_cast<unsigned char>(b));
                       })) {
            return &type;
        }
    }
    return nullptr;
}

std::string type_words_of_size(unsigned size) {
    std::string words;
    for (const type_info& type : types) {
        if (type.size == size && !type.word.starts_with("vtk") && type.word != "signed_char" &&
            type.kind != number_kind::bit) {
            words += words.empty() ? "" : ", ";
            words += type.word;
        }
    }
    if (const auto comma = words.rfind(", "); comma != std::string::npos) {
        words.replace(comma, 2, " or ");
    }
    return words;
}

std::string format_number(double value, bool single) {
    char text[64];
    auto result = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                         : std::to_chars(text, text + sizeof text, value);
    // Plain digits where they are not much longer: 100000 rather than 1e+05.
    const double magnitude = std::fabs(value);
    if (std::find(text, result.ptr, 'e') != result.ptr && magnitude >= 1e-4 && magnitude < 1e16) {
        result = single ? std::to_chars(text, text + sizeof text, static_cast<float>(value),
                                        std::chars_format::fixed)
                        : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    }
    return {text, result.ptr};
}

sample_sink::sample_sink(const type_info& type, bool text, bool colours)
    : type_(type), text_(text), colours_(colours) {
    s_.smin = std::numeric_limits<std::int64_t>::max();
    s_.smax = std::numeric_limits<std::int64_t>::min();
    s_.umin = std::numeric_limits<std::uint64_t>::max();
    s_.umax = 0;
    s_.fmin = HUGE_VAL;
    s_.fmax = -HUGE_VAL;
}

namespace {

// The range of an integer type of `size` bytes.
bool fits(const type_info& type, const integer_word& i) {
    const unsigned bits = type.kind == number_kind::bit ? 1 : type.size * 8;
    if (type.kind == number_kind::unsigned_integer || type.kind == number_kind::bit) {
        return (!i.negative || i.magnitude == 0) &&
               (bits == 64 || i.magnitude < (std::uint64_t{1} << bits));
    }
    const std::uint64_t top = std::uint64_t{1} << (bits - 1);
    return i.negative ? i.magnitude <= top : i.magnitude < top;
}

} // namespace

void sample_sink::word(const char* word, const char* end, std::uint64_t at) {
    if (colours_) {
        double v = 0;
        if (!parse_real(word, end, v) || !std::isfinite(v) || std::fabs(v) > 1e15) {
            bad_.note(word, end, at);
            return;
        }
        const std::uint64_t byte = colour_byte(v);
        ++values_;
        s_.umin = std::min(s_.umin, byte);
        s_.umax = std::max(s_.umax, byte);
        return;
    }
    if (type_.kind == number_kind::floating) {
        double v = 0;
        if (!parse_real(word, end, v)) {
            bad_.note(word, end, at);
            return;
        }
        ++values_;
        // A float beyond its range is an infinity, and neither reads back in VTK.
        const bool single = type_.size == 4;
        if (std::isfinite(v) && (!single || float_reads(v))) {
            s_.fmin = std::min(s_.fmin, v);
            s_.fmax = std::max(s_.fmax, v);
        } else {
            ++not_finite_;
            unreadable_.note(word, end, at);
        }
        return;
    }
    const integer_word i = parse_integer(word, end);
    constexpr std::uint64_t sign_bit = std::uint64_t{1} << 63;
    if (!i.ok || (type_.kind == number_kind::signed_integer &&
                  i.magnitude > (i.negative ? sign_bit : sign_bit - 1))) {
        bad_.note(word, end, at);
        return;
    }
    ++values_;
    // A number beyond its type counts as VTK's reader loads it, where it loads it: bytes are read
    // as an int and keep its low bits; a wider unsigned type takes a negative number within its
    // range as its two's complement, as strtoull does. Beyond that the reader stops, and the
    // number stays out of the range.
    std::uint64_t bits = i.negative ? 0 - i.magnitude : i.magnitude;
    const unsigned width = type_.kind == number_kind::bit ? 1 : type_.size * 8;
    const bool wraps =
        type_.size == 1 || (type_.kind == number_kind::unsigned_integer && i.negative &&
                            (width == 64 || i.magnitude < (std::uint64_t{1} << width)));
    if (!fits(type_, i) && !wraps) {
        unreadable_.note(word, end, at);
        return;
    }
    if (!fits(type_, i)) {
        wrapped_.note(word, end, at);
        // 64 bits are all there is: a negative number already stands as its two's complement.
        if (width < 64) {
            bits &= (std::uint64_t{1} << width) - 1;
            if (type_.kind == number_kind::signed_integer && (bits >> (width - 1)) != 0) {
                bits |= ~((std::uint64_t{1} << width) - 1);
            }
        }
    } else if (type_.kind != number_kind::signed_integer && i.negative) {
        bits = 0; // -0
    }
    if (type_.kind != number_kind::signed_integer) {
        s_.umin = std::min(s_.umin, bits);
        s_.umax = std::max(s_.umax, bits);
    } else {
        const auto v = static_cast<std::int64_t>(bits);
        s_.smin = std::min(s_.smin, v);
        s_.smax = std::max(s_.smax, v);
    }
}

std::size_t sample_sink::take(const char* data, std::size_t size, std::uint64_t, bool last) {
    if (type_.kind == number_kind::bit) {
        // Bits, eight to a byte from the top: all ones or all zeros bound the range.
        for (std::size_t k = 0; k < size; ++k) {
            const auto byte = static_cast<unsigned char>(data[k]);
            s_.umin = byte != 0xff ? 0 : std::min<std::uint64_t>(s_.umin, 1);
            s_.umax = byte != 0 ? 1 : std::max<std::uint64_t>(s_.umax, 0);
        }
        values_ += size * 8;
        bytes_ += size;
        return size;
    }
    const std::size_t n = size / type_.size;
    VOX_TYPE_SWITCH(
        type_,
        if constexpr (std::is_floating_point_v<vox_t>) {
            not_finite_ += scan_reals<vox_t>(data, n, s_);
        } else { scan_integers<vox_t>(data, n, s_); })
    values_ += n;
    const std::size_t took = last ? size : n * type_.size;
    bytes_ += took;
    return took;
}

std::optional<std::pair<shown_value, shown_value>> sample_sink::bounds() const {
    switch (type_.kind) {
    case number_kind::signed_integer:
        if (s_.smin <= s_.smax) {
            return std::pair{shown_value::of_signed(s_.smin), shown_value::of_signed(s_.smax)};
        }
        break;
    case number_kind::unsigned_integer:
    case number_kind::bit:
        if (s_.umin <= s_.umax) {
            return std::pair{shown_value::of(s_.umin), shown_value::of(s_.umax)};
        }
        break;
    case number_kind::floating:
        if (s_.fmin <= s_.fmax) {
            const bool single = !text_ && type_.size == 4;
            return std::pair{shown_value::of_real(s_.fmin, single),
                             shown_value::of_real(s_.fmax, single)};
        }
        break;
    }
    return std::nullopt;
}

bool shown_value::finite() const {
    return is != kind::real || std::isfinite(r);
}

std::string shown_value::text() const {
    switch (is) {
    case kind::signed_integer:
        return std::to_string(s);
    case kind::unsigned_integer:
        return std::to_string(u);
    case kind::real:
        break;
    }
    return format_number(r, single);
}

void order_evidence::block(const char* data, std::size_t size) {
    if (type_.kind == number_kind::bit) {
        return;
    }
    VOX_TYPE_SWITCH(type_, weigh_block<vox_t>(data, size / sizeof(vox_t), s_))
}

order_evidence::verdict order_evidence::judged() const {
    // Data read the wrong way round is far rougher, or far more often out of any measurement's
    // range, than read the right way: an eighth of the one against the other, or else unknown.
    if (type_.kind == number_kind::floating) {
        if (s_.checked >= 4 && s_.odd * 10 > s_.checked && s_.odd_swapped * 8 <= s_.odd) {
            return verdict::little_endian;
        }
        if (s_.checked >= 4 && s_.odd_swapped * 10 > s_.checked && s_.odd * 8 <= s_.odd_swapped) {
            return verdict::big_endian;
        }
        return verdict::unknown;
    }
    if (s_.pairs >= 16 && s_.steps > 0 && s_.steps_swapped * 8 < s_.steps) {
        return verdict::little_endian;
    }
    if (s_.pairs >= 16 && s_.steps_swapped > 0 && s_.steps * 8 < s_.steps_swapped) {
        return verdict::big_endian;
    }
    return verdict::unknown;
}

std::string order_evidence::why_unknown() const {
    const bool reals = type_.kind == number_kind::floating;
    if (reals ? s_.values < 4 : s_.pairs < 16) {
        return "too few values to judge";
    }
    if (reals ? s_.checked < 4 : s_.steps == 0) {
        return reals ? "the values judged are (nearly) all zero" : "the values judged do not vary";
    }
    return "the values look alike read either way round";
}

array_sink::array_sink(const type_info* type, bool text) : type_(type), text_(text) {}

void array_sink::add(double value, double swapped) {
    if (std::isfinite(value)) {
        min_ = finite_ == 0 ? value : std::min(min_, value);
        max_ = finite_ == 0 ? value : std::max(max_, value);
        ++finite_;
    }
    if (values_ > 0) {
        if (!(value > previous_) && not_increasing_ == 0) {
            not_increasing_ = values_;
            before_ = previous_;
            at_ = value;
        }
        swapped_increasing_ = swapped_increasing_ && swapped > previous_swapped_;
    }
    if (!text_ && type_ != nullptr && type_->kind == number_kind::floating) {
        const bool wide = type_->size == 8;
        odd_ += (wide ? odd_value(value) : odd_value(static_cast<float>(value))) ? 1 : 0;
        odd_swapped_ +=
            (wide ? odd_value(swapped) : odd_value(static_cast<float>(swapped))) ? 1 : 0;
    }
    previous_ = value;
    previous_swapped_ = swapped;
    ++values_;
}

void array_sink::word(const char* word, const char* end, std::uint64_t at) {
    double v = 0;
    if (!parse_real(word, end, v)) {
        bad_.note(word, end, at);
        return;
    }
    if (!std::isfinite(v) || (type_ != nullptr && type_->size == 4 &&
                              type_->kind == number_kind::floating && !float_reads(v))) {
        unreadable_.note(word, end, at);
    }
    add(v, v);
}

std::size_t array_sink::take(const char* data, std::size_t size, std::uint64_t, bool last) {
    std::size_t took = size;
    if (type_ != nullptr && type_->kind != number_kind::bit) {
        const std::size_t n = size / type_->size;
        VOX_TYPE_SWITCH(
            *type_, for (std::size_t i = 0; i < n; ++i) {
                const char* p = data + i * sizeof(vox_t);
                add(static_cast<double>(load<vox_t>(p)), static_cast<double>(load<vox_t, true>(p)));
            })
        took = last ? size : n * type_->size;
    }
    bytes_ += took;
    return took;
}

bool array_sink::looks_swapped() const {
    if (text_ || type_ == nullptr || type_->size < 2) {
        return false;
    }
    const bool odd = odd_ * 4 > values_ && odd_swapped_ * 8 <= odd_;
    return odd || (values_ >= 3 && not_increasing_ != 0 && swapped_increasing_);
}

namespace {

// Swaps a block of values at a time, whose fixed count lets the compiler swap them together.
template <typename U>
void swap_values(char* data, std::uint64_t count) {
    constexpr std::uint64_t block = 64 / sizeof(U);
    std::uint64_t i = 0;
    for (; i + block <= count; i += block) {
        U v[block];
        std::memcpy(v, data + i * sizeof(U), sizeof v);
        for (U& u : v) {
            u = byte_swapped(u);
        }
        std::memcpy(data + i * sizeof(U), v, sizeof v);
    }
    for (; i < count; ++i) {
        U u;
        std::memcpy(&u, data + i * sizeof(U), sizeof u);
        u = byte_swapped(u);
        std::memcpy(data + i * sizeof(U), &u, sizeof u);
    }
}

} // namespace

void swap_each(char* data, std::uint64_t values, unsigned size) {
    switch (size) {
    case 2:
        swap_values<std::uint16_t>(data, values);
        break;
    case 4:
        swap_values<std::uint32_t>(data, values);
        break;
    case 8:
        swap_values<std::uint64_t>(data, values);
        break;
    default:
        break;
    }
}

double value_of(const type_info& type, const char* bytes) {
    double value = 0;
    VOX_TYPE_SWITCH(type, vox_t v; std::memcpy(&v, bytes, sizeof v); value = static_cast<double>(v))
    if (type.kind == number_kind::bit) {
        value = static_cast<unsigned char>(*bytes);
    }
    return value;
}

std::uint8_t colour_byte(double value) {
    // VTK's reader reads a float and converts 255 * f + 0.5 to unsigned char: towards zero, and
    // through an int, whose low byte is kept.
    const double scaled = 255.0 * static_cast<double>(static_cast<float>(value)) + 0.5;
    if (!(std::fabs(scaled) < 2147483648.0)) {
        return 0;
    }
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(scaled) & 0xff);
}

void store_real(const type_info& type, bool colours, double real, char* to) {
    if (colours) {
        *to = static_cast<char>(colour_byte(real));
    } else if (type.size == 4) {
        const auto v = static_cast<float>(real);
        std::memcpy(to, &v, sizeof v);
    } else {
        std::memcpy(to, &real, sizeof real);
    }
}

void store_integer(const type_info& type, const integer_word& word, char* to) {
    // Wrapped to the type's width, as VTK's reader wraps integers beyond it.
    const std::uint64_t bits = word.negative ? ~word.magnitude + 1 : word.magnitude;
    if (type.kind == number_kind::bit) {
        *to = static_cast<char>(bits != 0 ? 1 : 0);
        return;
    }
    VOX_TYPE_SWITCH(type, const auto v = static_cast<unsigned_of<vox_t>>(bits);
                    std::memcpy(to, &v, sizeof v))
}

bool store_text_value(const type_info& type, bool colours, const char* begin, const char* end,
                      char* to) {
    if (colours || type.kind == number_kind::floating) {
        double real = 0;
        if (!parse_real(begin, end, real)) {
            return false;
        }
        store_real(type, colours, real, to);
        return true;
    }
    const integer_word w = parse_integer(begin, end);
    if (!w.ok) {
        return false;
    }
    store_integer(type, w, to);
    return true;
}

} // namespace vox::legacy
