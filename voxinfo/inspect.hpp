// Reads a file in the legacy layout with the reader library and gathers what voxinfo reports on:
// the model of the file, the values of every array, and the samples of a referenced file.
#pragma once

#include "checks.hpp"

#include <string>

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

// Everything read from one file, and what disagrees in it.
using contents = legacy::file_contents;
using legacy::check;
using legacy::finding;
using legacy::referenced;

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
