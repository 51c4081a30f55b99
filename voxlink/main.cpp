// voxlink: writes companion headers (XDMF, MetaImage, NRRD, Zarr references) that point into a
// file in the legacy layout at the byte offsets of its samples and coordinates, so that viewers
// and libraries that cannot read the layout open it in place, with nothing copied. Exit status: 0
// when every companion asked for was written, 1 when some could not be (the file's parts disagree,
// or a format cannot describe it), 2 when the file cannot be read as the layout, or on a usage
// error.
#include "cli.hpp"
#include "formats.hpp"
#include "output.hpp"
#include "target.hpp"
#include "text.hpp"
#include "zarr.hpp"

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace vox::companion;
using vox::legacy::printable;

// The usage text, around the list of formats.
constexpr const char* usage_head =
    "Usage: %s [--byte-order=big|little|auto] [--data-url=URL] FILE [OUTPUT...]\n"
    "Write companion headers that point into FILE, a file in the legacy VTK layout, so that\n"
    "viewers and libraries that do not read the layout open its samples in place, with\n"
    "nothing copied.\n"
    "\n"
    "Each OUTPUT's extension picks its format:\n";
constexpr const char* usage_tail =
    "Without OUTPUT, every companion that can describe FILE is written beside it, named after\n"
    "it.\n"
    "\n"
    "  --byte-order=ORDER  the samples' byte order: big (the layout's, the default), little,\n"
    "                      or auto (judged from their values)\n"
    "  --data-url=URL      where a Zarr reference finds the data file (http://, https://,\n"
    "                      s3://, file://...); by default its absolute path\n"
    "  --help              show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Exit status: 0 when every companion was written, 1 when one could not be, 2 when FILE\n"
    "cannot be read or on a usage error.\n";

struct request {
    std::string file;
    byte_order order = byte_order::big_endian;
    // Zarr references: the data file's URL; none: its absolute path.
    std::optional<std::string> data_url;
    // The companions asked for; none: every format, beside the file.
    std::vector<std::pair<std::string, const format_record*>> outputs;
};

// The request from the command line, or the status to end with at once.
int read_request(int argc, char** argv, const char* program, request& r) {
    const vox::cli::parsed p = vox::cli::parse(argc, argv,
                                               {{"byte-order", required_argument, nullptr, 'b'},
                                                {"data-url", required_argument, nullptr, 'u'}});
    switch (p.result) {
    case vox::cli::parsed::outcome::help:
        std::printf(usage_head, program);
        std::fputs(usage_list().c_str(), stdout);
        std::fputs(usage_tail, stdout);
        return vox::cli::finish(program, 0);
    case vox::cli::parsed::outcome::version:
        vox::cli::print_version("voxlink");
        return vox::cli::finish(program, 0);
    case vox::cli::parsed::outcome::usage_error:
        return vox::cli::usage_error(program, "");
    case vox::cli::parsed::outcome::run:
        break;
    }
    for (const auto& [option, value] : p.options) {
        if (option == 'u') {
            r.data_url = value;
        } else if (option == 'b' && value == "big") {
            r.order = byte_order::big_endian;
        } else if (option == 'b' && value == "little") {
            r.order = byte_order::little_endian;
        } else if (option == 'b' && value == "auto") {
            r.order = byte_order::automatic;
        } else {
            return vox::cli::usage_error(program, "invalid byte order '" + printable(value) +
                                                      "': big, little or auto");
        }
    }
    if (p.operands.empty()) {
        return vox::cli::usage_error(program, "no FILE given");
    }
    r.file = p.operands[0];
    for (std::size_t i = 1; i < p.operands.size(); ++i) {
        const format_record* f = format_of(p.operands[i]);
        if (f == nullptr) {
            return vox::cli::usage_error(
                program,
                printable(p.operands[i]) + ": the extension picks the format: " + extension_list());
        }
        r.outputs.emplace_back(p.operands[i], f);
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const char* program = vox::cli::name_of(argc, argv, "voxlink");
    // A write past the limit of a file's size fails (EFBIG) and is reported, rather than ending
    // the run with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    request r;
    if (const int status = read_request(argc, argv, program, r); status >= 0) {
        return status;
    }
    const std::string shown = printable(r.file);
    if (const std::string why = r.data_url ? url_problem(*r.data_url) : ""; !why.empty()) {
        std::fprintf(stderr, "%s: %s: --data-url: %s\n", program, shown.c_str(), why.c_str());
        return vox::cli::finish(program, 1);
    }
    target t;
    if (const failure f = read_target(r.file, r.order, t); f.what != failure::kind::none) {
        std::fprintf(stderr, "%s: %s: %s\n", program, shown.c_str(), printable(f.text).c_str());
        return f.what == failure::kind::unreadable ? 2 : 1;
    }
    if (!t.order_note.empty()) {
        std::fprintf(stderr, "%s: %s: %s\n", program, shown.c_str(), t.order_note.c_str());
    }
    const bool every = r.outputs.empty();
    if (every) {
        for (const format_record& f : formats()) {
            r.outputs.emplace_back(beside(r.file, f.default_suffix), &f);
        }
    }
    int status = 0;
    unsigned written = 0;
    for (const auto& output : r.outputs) {
        // Not a structured binding: Clang 14 captures none in a lambda.
        const std::string& path = output.first;
        const format_record& f = *output.second;
        const namer name_of{[&path](const std::string& data) { return relative_name(data, path); },
                            [&](const std::string& data) {
                                return zarr_data_name(data, t.samples.path,
                                                      r.data_url.value_or(""));
                            }};
        const companion c = describe(f, t, name_of);
        if (!c.refusal.empty()) {
            std::fprintf(stderr, "%s: %s: no %.*s companion: %s\n", program, shown.c_str(),
                         static_cast<int>(f.name.size()), f.name.data(),
                         printable(c.refusal).c_str());
            status = every ? status : 1;
            continue;
        }
        if (const std::string why = write_whole(path, c.text, {r.file, t.samples.path});
            !why.empty()) {
            std::fprintf(stderr, "%s: %s: not written: %s\n", program, printable(path).c_str(),
                         printable(why).c_str());
            status = 1;
            continue;
        }
        ++written;
        std::printf("%s: %.*s, for %.*s\n", printable(path).c_str(),
                    static_cast<int>(f.name.size()), f.name.data(),
                    static_cast<int>(f.readers.size()), f.readers.data());
    }
    if (every && written == 0) {
        status = 1;
    }
    return vox::cli::finish(program, status);
}
