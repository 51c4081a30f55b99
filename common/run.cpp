#include "run.hpp"

#include "layout.hpp"
#include "numbers.hpp"
#include "payload.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vox {

bool open_standard_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        // A closed one is given /dev/null: the lowest free descriptor is the one just found closed.
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd) {
            return false;
        }
    }
    return true;
}

bool require_argument_count(int argc, char** argv, int expected, const char* usage,
                            const char* name) {
    if (argc == expected) {
        return true;
    }
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : name;
    std::fprintf(stderr, "USAGE: %s %s\n", program, usage);
    std::fputs("data_type = unsigned_char, short or unsigned_short\n", stderr);
    return false;
}

std::FILE* open_or_report(const char* path, const char* mode) {
    std::FILE* stream = std::fopen(path, mode);
    if (stream == nullptr) {
        std::fprintf(stderr, "Error opening %s\n", path);
    }
    return stream;
}

bool require_encoding(const char* keyword, std::span<const char* const> accepted) {
    for (const char* candidate : accepted) {
        if (std::strcmp(keyword, candidate) == 0) {
            return true;
        }
    }
    std::fprintf(stderr, "Invalid format: %s\n", keyword);
    return false;
}

namespace {

// What an input and the output must never share: a regular file would be truncated before it is
// read, and a pipe would feed the run its own output and keep it waiting for ever for the end of
// it. A device such as /dev/null may be both.
bool same_file(const struct stat& a, const struct stat& b) {
    const bool kept = S_ISREG(a.st_mode) || S_ISFIFO(a.st_mode);
    return kept && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool refuse_overwrite(const char* out_path) {
    std::fprintf(stderr, "Refusing to overwrite input file %s\n", out_path);
    return false;
}

} // namespace

bool require_distinct_pipe(const char* in_path, const char* out_path) {
    struct stat in {};
    struct stat out {};
    const bool clash = ::stat(in_path, &in) == 0 && S_ISFIFO(in.st_mode) &&
                       ::stat(out_path, &out) == 0 && same_file(in, out);
    return clash ? refuse_overwrite(out_path) : true;
}

bool require_distinct_output(const char* out_path, std::FILE* in,
                             std::span<const char* const> inputs) {
    struct stat out {};
    if (::stat(out_path, &out) != 0) {
        return true; // nothing there yet
    }
    struct stat input {};
    bool clash = ::fstat(fileno(in), &input) == 0 && same_file(out, input);
    for (const char* path : inputs) {
        clash = clash || (::stat(path, &input) == 0 && same_file(out, input));
    }
    return clash ? refuse_overwrite(out_path) : true;
}

bool require_distinct_streams(std::FILE* out, const char* out_path,
                              std::span<std::FILE* const> inputs) {
    struct stat output {};
    if (::fstat(fileno(out), &output) != 0) {
        return true;
    }
    for (std::FILE* in : inputs) {
        struct stat input {};
        if (::fstat(fileno(in), &input) == 0 && same_file(output, input)) {
            return refuse_overwrite(out_path);
        }
    }
    return true;
}

bool require_samples_file(std::FILE* in, const char* in_path) {
    struct stat samples {};
    if (::fstat(fileno(in), &samples) == 0 && S_ISDIR(samples.st_mode)) {
        std::fprintf(stderr, "Error reading %s\n", in_path);
        return false;
    }
    return true;
}

bool append_payload(std::FILE* in, const char* in_path, std::FILE* out, const char* out_path) {
    switch (copy_payload(in, out)) {
    case copy_status::complete:
        return true;
    case copy_status::read_failed:
        std::fprintf(stderr, "Error reading %s\n", in_path);
        return false;
    case copy_status::write_failed:
        break;
    }
    std::fprintf(stderr, "Error writing %s\n", out_path);
    return false;
}

bool close_output(std::FILE* out, const char* out_path) {
    const bool failed_before = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || failed_before) {
        std::fprintf(stderr, "Error writing %s\n", out_path);
        return false;
    }
    return true;
}

bool section::append_auxiliary(std::size_t index) const {
    return append_payload(auxiliary[index], argv[auxiliary_positions[index]], out,
                          argv[outfile_position]);
}

void section::write_reals(const char* keyword, int first, std::size_t count) const {
    std::array<float, 3> values{};
    count = std::min(count, values.size());
    for (std::size_t i = 0; i < count; ++i) {
        values[i] = parse_real(argv[first + static_cast<int>(i)]);
    }
    write_reals_line(out, keyword, std::span(values.data(), count));
}

int run_converter(int argc, char** argv, const converter& c) {
    if (!open_standard_descriptors() ||
        !require_argument_count(argc, argv, c.argument_count, c.usage, c.name)) {
        return 1;
    }
    const char* const in_path = argv[infile_position];
    const char* const out_path = argv[outfile_position];
    const std::size_t auxiliary_count = std::min(c.auxiliary_files.size(), max_auxiliary_files);
    std::array<const char*, max_auxiliary_files> auxiliary_paths{};
    for (std::size_t i = 0; i < auxiliary_count; ++i) {
        auxiliary_paths[i] = argv[c.auxiliary_files[i]];
    }
    const std::span auxiliary_inputs(auxiliary_paths.data(), auxiliary_count);

    if (!require_distinct_pipe(in_path, out_path)) {
        return 1;
    }
    std::FILE* const in = open_or_report(in_path, "rb");
    if (in == nullptr || !require_distinct_output(out_path, in, auxiliary_inputs)) {
        return 1;
    }
    std::FILE* const out = open_or_report(out_path, "w");
    if (out == nullptr) {
        return 1;
    }
    // The samples first, then the auxiliary files in their order.
    std::array<std::FILE*, 1 + max_auxiliary_files> inputs{in};
    const std::span auxiliary(inputs.data() + 1, auxiliary_count);
    for (std::size_t i = 0; i < auxiliary_count; ++i) {
        auxiliary[i] = open_or_report(auxiliary_paths[i], "r");
        if (auxiliary[i] == nullptr) {
            return 1;
        }
    }
    // An input that did not exist before the output was created (or that names the output's
    // descriptor) can only be told apart now; copying it would read back what is appended.
    if (!require_distinct_streams(out, out_path, std::span(inputs.data(), 1 + auxiliary_count))) {
        return 1;
    }

    write_title_lines(out, argv[0]);
    const char* const encoding = argv[argc - 1];
    if (!require_encoding(encoding, c.encodings)) {
        return 1;
    }
    write_encoding_line(out, encoding, in_path);
    const section grid{
        .argv = argv,
        .out = out,
        .xdim = parse_dimension(argv[xdim_position]),
        .ydim = parse_dimension(argv[ydim_position]),
        .zdim = parse_dimension(argv[zdim_position]),
        .auxiliary_positions = c.auxiliary_files.first(auxiliary_count),
        .auxiliary = auxiliary,
    };
    write_dimensions_line(out, grid.xdim, grid.ydim, grid.zdim);
    if (!c.write_grid_section(grid)) {
        return 1;
    }
    write_point_data_lines(out, grid.xdim, grid.ydim, grid.zdim, argv[argc - 2]);
    const bool reference_mode = std::strcmp(encoding, reference_keyword) == 0;
    if (reference_mode ? !require_samples_file(in, in_path)
                       : !append_payload(in, in_path, out, out_path)) {
        return 1;
    }
    std::fclose(in);
    return close_output(out, out_path) ? 0 : 1;
}

} // namespace vox
