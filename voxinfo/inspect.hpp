// Reads a file in the legacy layout with the reader library and gathers what voxinfo reports on:
// the model of the file, the values of every array, and the samples of a referenced file.
#pragma once

#include "facts.hpp"
#include "input.hpp"
#include "model.hpp"
#include "parser.hpp"
#include "values.hpp"

#include <memory>
#include <string>
#include <vector>

namespace vox::info {

using legacy::file_model;

// The report's form: lines for people, or a JSON object for scripts.
enum class form { text, json };

struct options {
    // The file's path as given, for finding a referenced sample file beside it.
    std::string header_path;
    // Whether to look for the referenced sample file at all; without, its samples go unchecked.
    bool follow_reference = true;
    form as = form::text;
};

// The samples of a file in reference mode, read from the file it names.
struct referenced {
    enum class state { not_looked_at, missing, not_regular, not_opened, not_read, read };
    state how = state::not_looked_at;
    std::string path;         // as found: the reference, or the path beside the header
    bool only_beside = false; // found beside the header, not from the current folder
    std::string reason;       // the system's words where it could not be opened or read
    std::unique_ptr<legacy::sample_sink> values;
};

// Everything read from one file.
struct contents {
    file_model model;
    legacy::file_facts facts;
    // The values of each array of the model, by its index: ranged samples and attributes, or
    // coordinates checked for order; none for an array of unknown type.
    std::vector<std::unique_ptr<legacy::sample_sink>> values;
    std::vector<std::unique_ptr<legacy::array_sink>> coordinates;
    referenced reference;
};

struct report {
    // Why the file could not be inspected: none, or it could not be opened or read, it is not in
    // the layout, or it is a kind of dataset that is not read; `error` says where and why.
    enum class failure { none, opening, reading, layout, refused } failed = failure::none;
    std::string error;
    // The report, one "  key: value" line each, ending with the problems, the warnings and the
    // result; empty when the file could not be inspected. As JSON, one object without its line
    // feed, also for a file that could not be inspected.
    std::string text;
    unsigned problems = 0;
    unsigned warnings = 0;
};

report inspect(legacy::source& from, const options& how);

// Opens `path` and inspects it.
report inspect_file(const std::string& path, form as = form::text);

// The diagnostic for a file that could not be inspected, as standard error shows it (without the
// line feed); empty for one that was.
std::string diagnostic(const std::string& path, const report& r);

} // namespace vox::info
