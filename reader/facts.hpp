// The facts that follow from a file's model, derived once for every program that reads the layout:
// what the grid needs of the samples, where they lie and how many bytes are there, the state of a
// referenced sample file, the byte order of binary values and the position of every grid line.
// Where a fact is a problem, the sentence that reports it is made here too, so that every program
// says it in the same words.
#pragma once

#include "model.hpp"
#include "parser.hpp"
#include "values.hpp"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vox::legacy {

// How binary values are read: as the layout declares them, the other way round, or as they look
// (from the start of the samples, and from each coordinate array).
enum class byte_order { big_endian, little_endian, automatic };

// The byte order of binary samples as their values show it, judged from the same bounded part of
// them for every program: the first block and blocks evenly spaced through the payload, so that
// neither leading empty slices nor the size of the file decide.
struct order_judgement {
    order_evidence::verdict order = order_evidence::verdict::unknown;
    std::string why_unknown;  // in words that follow "the byte order is unknown: "
    bool read_failed = false; // the samples could not be read; the order is unknown
};

// Where the samples lie, and what the grid needs of them.
struct samples_facts {
    std::size_t index = 0; // into the model's arrays
    uint128 values = 0;    // points x components
    // The bytes the grid needs: binary values of a type of known size.
    std::optional<uint128> bytes_needed;
    // The file that holds them, and the offset of the first: the header itself, or in reference
    // mode the file it names (as written from the current folder, else beside the header), from
    // its start.
    std::string path;
    std::uint64_t offset = 0;
    enum class reference { none, found, missing, not_regular } named = reference::none;
    bool only_beside = false; // found beside the header, not from the current folder
    int error = 0;            // why a missing one was not found
    // The sample bytes there: the binary payload as the header was read, or the size of the
    // referenced file.
    std::uint64_t bytes_found = 0;
    // The byte order of binary values of two bytes or more, where it was judged.
    std::optional<order_judgement> judged;
};

struct file_facts {
    std::optional<samples_facts> samples; // none without SCALARS in POINT_DATA
};

// What derive() reads: the header's facts alone (a referenced file's size, no sample), or those
// and the byte order of binary samples, judged from at most a few MiB of them.
enum class deriving { header, byte_order };

// Derives the facts of a file that was read from `header_path`.
file_facts derive(const file_model& model, const std::string& header_path,
                  deriving what = deriving::header);

// The problems among the facts, each as voxinfo reports it; empty where there is none.
std::string point_data_problem(const file_model& model);
std::string cell_data_problem(const file_model& model);
std::string reference_problem(const file_model& model, const samples_facts& samples);
// `found` numbers of text samples against what the grid needs.
std::string samples_count_problem(const file_model& model, std::uint64_t found);
// The words of the text values of `name` that are no numbers (of type `type_word`, where given).
std::string not_numbers_problem(const std::string& name, const bad_words& bad,
                                const std::string& type_word);
// `found` bytes of binary samples against what the grid needs, with what the length would fit;
// `where` names a file other than the header (" in PATH").
std::string samples_length_problem(const file_model& model, std::uint64_t found,
                                   const std::string& where);

// "SPACING: the x spacing is 0.5": a value of the spacing (`which` 0) or the origin (1).
std::string real_text(const file_model& model, int which, std::size_t axis);
// The first spacing or origin that is not a finite number: no point has a position.
std::string positions_problem(const file_model& model);
// Bytes after the header of a file in reference mode, which should have none.
std::string trailing_problem(const file_model& model);
// A coordinate or locations array whose line declares another count than its dimension.
std::string coordinates_count_problem(const file_model& model, const array_info& a);
// The values of array `a`, named `name`, against the `expected` number of them: `bytes` of binary
// values of a type of known size, or `numbers` words of text; `of_what` follows the count.
std::string length_problem(const file_model& model, const std::string& name, const array_info& a,
                           uint128 expected, std::uint64_t bytes, std::uint64_t numbers,
                           const std::string& of_what = "");

// Whether binary samples read as `order` says are little-endian: for `automatic`, as judged
// (derived with deriving::byte_order), the declared big-endian order where the judgement is
// unknown. None when they cannot be read.
std::optional<bool> samples_little_endian(const samples_facts& samples, byte_order order);

// What a program says of the order it takes for `automatic`: "the samples look little-endian;
// taken so", or why the order is unknown and that the declared order is taken. Empty where no
// order was judged.
std::string order_note(const samples_facts& samples);

// numpy's dtype of values of `type` in that byte order: ">u2", "<f8", "|u1"; empty for bits,
// which numpy cannot map.
std::string numpy_dtype(const type_info& type, bool little_endian);

// Keeps the values of a coordinate or locations array as they stream past, and judges them.
class coordinate_values final : public value_sink {
  public:
    coordinate_values(const type_info* type, bool text) : judge_(type, text) {}
    std::size_t take(const char* data, std::size_t size, std::uint64_t offset, bool last) override;
    void word(const char* begin, const char* end, std::uint64_t offset) override;

    const std::string& bytes() const { return bytes_; }
    const std::vector<double>& words() const { return words_; }
    const array_sink& judged() const { return judge_; }

  private:
    std::string bytes_;
    std::vector<double> words_;
    array_sink judge_;
};

// Keeps every coordinate array of a file, by axis, as the parser passes them.
class coordinate_keeper final : public value_provider {
  public:
    value_sink* values_of(const file_model& model, const array_info& array) override;
    const coordinate_values* of(std::size_t axis) const { return kept_[axis].get(); }

  private:
    std::array<std::unique_ptr<coordinate_values>, 3> kept_;
};

// Whether the binary values kept of a coordinate array are little-endian when read as `order` says.
bool coordinates_little_endian(const coordinate_values& kept, byte_order order);

// The position of every grid line along `axis`: from the coordinate array kept for it (its
// binary values in the order `order` says), or from spacing and origin. Empty for a uniform
// grid. An empty text, or why the positions cannot be had.
std::string grid_lines(const file_model& model, std::size_t axis, const coordinate_keeper& kept,
                       byte_order order, std::vector<double>& out);

} // namespace vox::legacy
