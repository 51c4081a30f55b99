// The run sequence that every converter follows: check the arguments, open the files, write the
// header with its payloads, then the samples. A converter supplies only what differs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

namespace vox {

// Argument positions shared by every converter.
inline constexpr int infile_position = 1;
inline constexpr int outfile_position = 2;
inline constexpr int xdim_position = 3;
inline constexpr int ydim_position = 4;
inline constexpr int zdim_position = 5;

inline constexpr std::size_t max_auxiliary_files = 3;

// What a grid section works with: the arguments, the output, the grid dimensions and the
// auxiliary files, open and in opening order.
struct section {
    char** argv;
    std::FILE* out;
    std::uint32_t xdim, ydim, zdim;
    std::span<const int> auxiliary_positions;
    std::span<std::FILE* const> auxiliary;

    // Appends all bytes of auxiliary file `index`; false, after its diagnostic, on a failure.
    bool append_auxiliary(std::size_t index) const;

    // Reads `count` (at most 3) real parameters from argument position `first` on, in order, and
    // writes them as a KEYWORD line.
    void write_reals(const char* keyword, int first, std::size_t count) const;
};

struct converter {
    const char* name;                           // stands in for a missing invocation name
    int argument_count;                         // the program name included
    const char* usage;                          // the usage line after "USAGE: PROGRAM "
    std::span<const int> auxiliary_files;       // argument positions, in opening order
    std::span<const char* const> encodings;     // accepted keywords, in the order tested
    bool (*write_grid_section)(const section&); // false once it has reported a failure
};

// Runs the whole sequence; the result is the exit status. An accepted "BINARY_FILE" keyword
// selects reference mode: the header names infile and its bytes are not copied.
int run_converter(int argc, char** argv, const converter& c);

// The steps of the sequence. Each one that fails has written its diagnostic to standard error.

// Opens /dev/null on any of standard input, output and error that is closed, so that no file the
// run opens takes their place and receives a diagnostic. False when even that fails.
bool open_standard_descriptors();
bool require_argument_count(int argc, char** argv, int expected, const char* usage,
                            const char* name);
std::FILE* open_or_report(const char* path, const char* mode);
bool require_encoding(const char* keyword, std::span<const char* const> accepted);
// Refuses a named pipe that is both infile and outfile before infile is opened: opening it to read
// would wait for a writer, and the only one to come is this run.
bool require_distinct_pipe(const char* in_path, const char* out_path);
// Refuses an output path that is the same regular file or pipe as `in` or as one of `inputs`,
// before the output is opened (and so truncated, or waited on for a reader).
bool require_distinct_output(const char* out_path, std::FILE* in,
                             std::span<const char* const> inputs);
// The same once every file is open, by the open descriptors: this also catches an input that came
// to be when the output was created, such as a coordinate file named like the new output, or
// /dev/fd/N naming the output's descriptor.
bool require_distinct_streams(std::FILE* out, const char* out_path,
                              std::span<std::FILE* const> inputs);
// In reference mode the samples are not copied, but a folder can never be read as samples.
bool require_samples_file(std::FILE* in, const char* in_path);
// Appends all bytes of `in` to `out`; the paths are for the diagnostics.
bool append_payload(std::FILE* in, const char* in_path, std::FILE* out, const char* out_path);
// Flushes and closes the output; a write that failed on the way is reported here.
bool close_output(std::FILE* out, const char* out_path);

} // namespace vox
