// What a companion header points at: the grid of a file in the legacy layout, where its samples
// and binary coordinates lie and in which byte order, read from the header and the coordinate
// arrays alone; no sample is read (but for judging the byte order, when asked to).
#pragma once

#include "facts.hpp"
#include "model.hpp"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vox::companion {

using legacy::byte_order;

// Binary values in a file: where they start, their type and their byte order.
struct place {
    std::string path; // as found from the current folder
    std::uint64_t offset = 0;
    const legacy::type_info* type = nullptr;
    std::string type_word;
    bool little_endian = false;
};

struct target {
    std::string path; // the file, as given
    legacy::file_model model;
    std::array<std::uint32_t, 3> dimensions{};
    // A uniform grid, or a slice stack whose slices are equally spaced: spacing and origin along
    // every axis.
    bool uniform = false;
    std::array<double, 3> spacing{1, 1, 1}, origin{0, 0, 0};
    // Whether those of an axis come from single-precision values (a slice stack's locations),
    // and are written as short as a float reads back.
    std::array<bool, 3> single{};
    // The position of every grid line of a rectilinear grid or a slice stack.
    std::array<std::vector<double>, 3> lines;
    // Where the binary values of each axis's lines lie (a coordinate or locations array); none
    // where they are text, or computed from spacing and origin.
    std::array<std::optional<place>, 3> line_values;
    place samples;
    unsigned components = 1;
    bool text = false; // the samples (and every array) are numbers as text
    // What was judged of the samples' byte order, when asked to judge it: the order taken, or why
    // it is unknown and the declared one taken.
    std::string order_note;
    // Whether the samples are the last bytes of their file.
    bool samples_end_file = false;
    // Text samples: whether any is nan, inf or beyond its type, which some readers stop at.
    bool samples_not_finite = false;
};

// Why a file cannot be linked: it cannot be read as the layout at all (status 2), or its parts
// disagree so that no companion could describe it truthfully (status 1).
struct failure {
    enum class kind { none, unreadable, inconsistent } what = kind::none;
    std::string text;
};

// Reads the header and the coordinate arrays of `path` and derives the target.
failure read_target(const std::string& path, byte_order order, target& t);

} // namespace vox::companion
