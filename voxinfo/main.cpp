// voxinfo: reads files in the legacy layout, the converters' own and the structured forms other
// programs write, checks that their parts agree and reports on each, as text or as JSON. Exit
// status as cmp has it: 0 when every file is consistent, 1 when the parts of some file disagree,
// 2 when some file cannot be read as this layout (or on a usage error).
#include "cli.hpp"
#include "inspect.hpp"
#include "report.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

void print_usage(const char* program) {
    std::printf("Usage: %s [--json] FILE...\n"
                "Check files in the legacy VTK layout, as the vox converters and other programs\n"
                "write them, and report on each on standard output.\n"
                "\n"
                "  --json     one JSON object a file, each on a line of its own (JSON Lines)\n"
                "  --help     show this help and exit\n"
                "  --version  show the version and exit\n"
                "  --         end the options: every argument after it is a FILE\n"
                "\n"
                "Exit status: 0 when every file is consistent (warnings allowed), 1 when the\n"
                "parts of some file disagree, 2 when some file cannot be read as this layout or\n"
                "on a usage error. See voxinfo(1).\n",
                program);
}

// Reports on one file, the `index`th: its report on standard output, or why it could not be
// read on standard error (and, as JSON, on standard output too). Returns its status.
int report_on(const std::string& path, vox::info::form as, std::size_t index) {
    const vox::info::report r = vox::info::inspect_file(path, as);
    const bool failed = r.failed != vox::info::report::failure::none;
    if (failed) {
        std::fprintf(stderr, "%s\n", vox::info::diagnostic(path, r).c_str());
    }
    if (as == vox::info::form::json) {
        std::printf("%s\n", r.text.c_str());
    } else if (!failed) {
        std::printf("%s%s:\n%s", index > 0 ? "\n" : "", vox::info::printable(path).c_str(),
                    r.text.c_str());
    }
    std::fflush(stdout);
    return failed ? 2 : r.problems > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* program = vox::cli::name_of(argc, argv, "voxinfo");
    const vox::cli::parsed args =
        vox::cli::parse(argc, argv, {{"json", no_argument, nullptr, 'j'}});
    switch (args.result) {
    case vox::cli::parsed::outcome::help:
        print_usage(program);
        return vox::cli::finish(program, 0);
    case vox::cli::parsed::outcome::version:
        vox::cli::print_version(program);
        return vox::cli::finish(program, 0);
    case vox::cli::parsed::outcome::usage_error:
        return vox::cli::usage_error(program, "");
    case vox::cli::parsed::outcome::run:
        break;
    }
    if (args.operands.empty()) {
        std::fprintf(stderr, "USAGE: %s file...\n", argc > 0 ? argv[0] : "voxinfo");
        return vox::cli::usage_status;
    }
    const auto as = args.options.empty() ? vox::info::form::text : vox::info::form::json;
    int status = 0;
    for (std::size_t i = 0; i < args.operands.size(); ++i) {
        status = std::max(status, report_on(args.operands[i], as, i));
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Error writing standard output\n");
        return 2;
    }
    return status;
}
