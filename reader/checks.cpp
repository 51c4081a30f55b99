#include "checks.hpp"

#include "keywords.hpp"
#include "text.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vox::legacy {

namespace {

// Samples of a type word of unknown size are counted as if of 8 bytes, and not judged.
constexpr type_info counted{"", 8, number_kind::floating};

} // namespace

value_sink* gatherer::values_of(const file_model& model, const array_info& array) {
    const bool text = model.coding == encoding::ascii;
    file_.values.resize(model.arrays.size());
    if (array.kind == attribute::coordinates) {
        return file_.coordinates.values_of(model, array);
    }
    const bool samples = model.samples && *model.samples == model.arrays.size() - 1;
    if ((array.type == nullptr && !samples) || (!text && !binary_)) {
        return nullptr;
    }
    file_.values.back() =
        std::make_unique<sample_sink>(array.type != nullptr ? *array.type : counted, text,
                                      text && array.kind == attribute::color_scalars);
    return file_.values.back().get();
}

void look_at_reference(file_contents& file, bool read) {
    referenced& ref = file.reference;
    const samples_facts& place = *file.facts.samples;
    using named = samples_facts::reference;
    if (place.named == named::missing) {
        ref.path = file.model.reference;
        ref.how = referenced::state::missing;
        return;
    }
    ref.path = place.path;
    ref.only_beside = place.only_beside;
    if (place.named == named::not_regular) {
        ref.how = referenced::state::not_regular;
        return;
    }
    if (!read) {
        ref.how = referenced::state::found;
        return;
    }
    const int fd = ::open(ref.path.c_str(), O_RDONLY);
    if (fd < 0) {
        ref.how = referenced::state::not_opened;
        ref.reason = std::strerror(errno);
        return;
    }
    const auto& samples = file.model.arrays[*file.model.samples];
    fd_source bytes(fd);
    input in(bytes);
    ref.values =
        std::make_unique<sample_sink>(samples.type != nullptr ? *samples.type : counted, false);
    in.stream_to_end(*ref.values);
    ::close(fd);
    ref.how = in.read_failed() ? referenced::state::not_read : referenced::state::read;
}

namespace {

const char* const axis_names[] = {"x", "y", "z"};

class checker {
  public:
    explicit checker(const file_contents& file) : file_(file), m_(file.model) {}
    std::vector<finding> run();

  private:
    void problem(const char* code, const std::string& text) {
        found_.push_back({finding::kind::problem, code, text});
    }
    void warning(const char* code, const std::string& text) {
        found_.push_back({finding::kind::warning, code, text});
    }
    void geometry();
    void coordinates(const array_info& a, const array_sink& values);
    void counts();
    void array_length(const std::string& name, const array_info& a, uint128 expected_values,
                      std::uint64_t bytes, std::uint64_t numbers, const std::string& of_what);
    void not_read_by_vtk(const std::string& name, const array_info& a,
                         const unreadable_words& words);
    void words_vtk_misreads(const std::string& name, const array_info& a,
                            const sample_sink& values);
    void samples();
    void sample_values(const sample_sink* values, std::uint64_t bytes, const std::string& where);
    void attribute_values(const array_info& a, const sample_sink* values);

    const file_contents& file_;
    const file_model& m_;
    bool text() const { return m_.coding == encoding::ascii; }
    std::vector<finding> found_;
};

// An array as the findings name it: the keyword, and the name where it has one.
std::string title_of(const array_info& a) {
    if (a.kind == attribute::coordinates) {
        return a.keyword;
    }
    return a.keyword + " " + a.name;
}

void checker::geometry() {
    for (int which = 0; which < 2; ++which) {
        for (std::size_t axis = 0; axis < m_.reals; ++axis) {
            const double v = (which == 0 ? m_.spacing : m_.origin)[axis];
            const std::string what = real_text(m_, which, axis);
            if (!std::isfinite(v)) {
                problem("not_finite", what + "; the points have no position");
            } else if (which == 0 && v == 0 && m_.dimensions[axis] > 1) {
                warning("spacing_zero",
                        what + "; all points along " + axis_names[axis] + " lie at one position");
            } else if (which == 0 && v < 0) {
                warning("spacing_negative",
                        what + "; the points run from high to low along " + axis_names[axis]);
            }
        }
    }
}

void checker::not_read_by_vtk(const std::string& name, const array_info& a,
                              const unreadable_words& words) {
    if (words.count > 0) {
        warning("vtk_unreadable_numbers",
                name + ": " + plural(words.count, "number", "numbers") +
                    " that VTK's reader cannot read, the first " + shown(words.first) +
                    " at byte " + to_text(words.first_at) +
                    " (it reads no nan, no inf, nothing beyond " + a.type_word + ")");
    }
}

void checker::coordinates(const array_info& a, const array_sink& values) {
    const std::string& name = a.keyword;
    if (const std::string why = coordinates_count_problem(m_, a); !why.empty()) {
        problem("coordinates_count", why);
    }
    if (a.type == nullptr && !text()) {
        warning("type_unknown", name + ": the type word " + shown(a.type_word) +
                                    " has no known size; the length of the values is not checked");
    }
    array_length(name, a, a.tuples, a.bytes, values.values(), "");
    if (const std::string why = not_numbers_problem(name, values.bad(), "");
        text() && !why.empty()) {
        problem("not_numbers", why);
    }
    not_read_by_vtk(name, a, values.not_read_by_vtk());
    if (values.first_not_increasing() != 0) {
        warning("not_increasing",
                name + " do not increase: " + format_number(values.it(), values.single()) +
                    " follows " + format_number(values.previous_of_it(), values.single()) +
                    " at value " + to_text(values.first_not_increasing() + 1));
    }
    if (values.looks_swapped()) {
        warning("coordinates_little_endian",
                name + " look little-endian: read with their bytes swapped they are plausible "
                       "and increasing; swap the bytes of each value before converting");
    }
}

void checker::array_length(const std::string& name, const array_info& a, uint128 expected_values,
                           std::uint64_t bytes, std::uint64_t numbers, const std::string& of_what) {
    if (const std::string why =
            length_problem(m_, name, a, expected_values, bytes, numbers, of_what);
        !why.empty()) {
        problem(text() ? "values_count" : "values_length", why);
    }
}

void checker::counts() {
    if (const std::string why = point_data_problem(m_); !why.empty()) {
        problem("point_data_count", why);
    }
    if (const std::string why = cell_data_problem(m_); !why.empty()) {
        problem("cell_data_count", why);
    }
}

// What an integer beyond its type becomes in VTK's reader, which reads it as an int (or wider)
// and keeps the low bits.
std::string wrapped(const std::string& word, const type_info& type) {
    const integer_word i = parse_integer(word.data(), word.data() + word.size());
    const unsigned bits = type.kind == number_kind::bit ? 1 : type.size * 8;
    std::uint64_t v = i.negative ? 0 - i.magnitude : i.magnitude;
    if (bits < 64) {
        v &= (std::uint64_t{1} << bits) - 1;
    }
    if (type.kind == number_kind::signed_integer && bits < 64 && (v >> (bits - 1)) != 0) {
        std::string negative = to_text((std::uint64_t{1} << bits) - v);
        negative.insert(negative.begin(), '-');
        return negative;
    }
    return to_text(v);
}

void checker::words_vtk_misreads(const std::string& name, const array_info& a,
                                 const sample_sink& values) {
    not_read_by_vtk(name, a, values.not_read_by_vtk());
    if (const auto& w = values.wrapped_by_vtk(); w.count > 0 && a.type != nullptr) {
        warning("vtk_wrapped_integers", name + ": " + plural(w.count, "number is", "numbers are") +
                                            " beyond " + a.type_word + ", the first " +
                                            shown(w.first) + " at byte " + to_text(w.first_at) +
                                            "; VTK's reader loads it as " +
                                            wrapped(w.first, *a.type));
    }
}

void checker::sample_values(const sample_sink* values, std::uint64_t bytes,
                            const std::string& where) {
    const array_info& a = m_.arrays[*m_.samples];
    const type_info* type = a.type;
    if (text() && values != nullptr) {
        if (const std::string why = samples_count_problem(m_, values->values()); !why.empty()) {
            problem("samples_count", why);
        }
        if (const std::string why = not_numbers_problem("samples", values->bad(), a.type_word);
            !why.empty()) {
            problem("not_numbers", why);
        }
        words_vtk_misreads("samples", a, *values);
    } else if (const std::string why = samples_length_problem(m_, bytes, where); !why.empty()) {
        problem("samples_length", why);
    }
    // Byte order is judged only for a type of known size.
    const auto& judged = file_.facts.samples->judged;
    if (judged && judged->order == order_evidence::verdict::little_endian) {
        warning(
            "samples_little_endian",
            std::string("samples look little-endian: read with their bytes swapped they are ") +
                (type->kind == number_kind::floating ? "finite and plausible" : "far smoother") +
                "; swap the bytes of each value before converting");
    }
}

void checker::samples() {
    const array_info& a = m_.arrays[*m_.samples];
    if (a.type == nullptr) {
        warning("type_unknown", "the type word " + shown(a.type_word) +
                                    " has no known size; the length of the samples is not checked");
    }
    if (m_.coding != encoding::binary_file) {
        sample_values(file_.values[*m_.samples].get(), a.bytes, "");
        return;
    }
    if (const std::string why = trailing_problem(m_); !why.empty()) {
        problem("reference_trailing_bytes", why);
    }
    warning("samples_in_another_file",
            std::string("samples in another file: VTK's legacy readers cannot read them, with or "
                        "without a DATASET line; convert with ") +
                keyword::binary + " instead of " + keyword::binary_file + " to embed them for VTK");
    const referenced& ref = file_.reference;
    switch (ref.how) {
    case referenced::state::not_looked_at:
        return;
    case referenced::state::missing:
        problem("reference_missing", reference_problem(m_, file_.facts.samples.value()));
        return;
    case referenced::state::not_regular:
        problem("reference_not_regular", reference_problem(m_, file_.facts.samples.value()));
        return;
    case referenced::state::not_opened:
        problem("reference_not_opened", "samples: the referenced file " + ref.path +
                                            " cannot be opened (" + ref.reason + ")");
        return;
    case referenced::state::not_read:
        problem("reference_not_read", "samples: error reading the referenced file " + ref.path);
        return;
    case referenced::state::found:
    case referenced::state::read:
        break;
    }
    if (ref.only_beside) {
        warning("reference_only_beside",
                "samples: the referenced file " + m_.reference +
                    " is not found from the current folder, only beside the header as " + ref.path +
                    "; readers started elsewhere will not find it");
    }
    sample_values(ref.values.get(),
                  ref.values ? ref.values->bytes() : file_.facts.samples->bytes_found,
                  " in " + ref.path);
}

void checker::attribute_values(const array_info& a, const sample_sink* values) {
    const std::string name = title_of(a);
    if (a.strings) {
        if (a.words != a.values()) {
            problem("strings_count", name + ": expected " +
                                         plural(a.values(), "string", "strings") + " (" +
                                         to_text(a.tuples) + " x " + to_text(a.components) +
                                         "), found " + to_text(a.words));
        }
        return;
    }
    if (a.type == nullptr) {
        warning("type_unknown", name + ": the type word " + shown(a.type_word) +
                                    " has no known size; the length of the values is not checked");
        return;
    }
    array_length(name, a, uint128{a.tuples} * a.components, a.bytes,
                 values != nullptr ? values->values() : a.words, "");
    if (values != nullptr && text()) {
        if (const std::string why = not_numbers_problem(name, values->bad(), a.type_word);
            !why.empty()) {
            problem("not_numbers", why);
        }
        words_vtk_misreads(name, a, *values);
    }
}

std::vector<finding> checker::run() {
    if (m_.grid != grid_kind::rectilinear) {
        geometry();
    }
    for (const array_info& a : m_.arrays) {
        if (a.kind == attribute::coordinates && file_.coordinates.of(a.axis) != nullptr) {
            coordinates(a, file_.coordinates.of(a.axis)->judged());
        }
    }
    counts();
    for (std::size_t i = 0; i < m_.arrays.size(); ++i) {
        if (m_.samples && i == *m_.samples) {
            samples();
        } else if (m_.arrays[i].kind != attribute::coordinates) {
            attribute_values(m_.arrays[i], file_.values[i].get());
        }
    }
    return found_;
}

} // namespace

std::vector<finding> check(const file_contents& file) {
    return checker(file).run();
}

} // namespace vox::legacy
