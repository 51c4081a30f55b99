// voxinfo: reads files in the legacy layout, the converters' own and the structured forms other
// programs write, checks that their parts agree and reports on each. Exit status as cmp has it: 0
// when every file is consistent, 1 when the parts of some file disagree, 2 when some file cannot
// be read as this layout (or on a usage error).
#include "inspect.hpp"
#include "report.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "USAGE: %s file...\n", argc > 0 ? argv[0] : "voxinfo");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const std::string shown = vox::info::printable(path);
        const vox::info::report r = vox::info::inspect_file(path);
        using failure = vox::info::report::failure;
        switch (r.failed) {
        case failure::none:
            std::printf("%s%s:\n%s", i > 1 ? "\n" : "", shown.c_str(), r.text.c_str());
            status = r.problems > 0 && status == 0 ? 1 : status;
            break;
        case failure::opening:
            std::fprintf(stderr, "Error opening %s: %s\n", shown.c_str(), r.error.c_str());
            status = 2;
            break;
        case failure::reading:
            std::fprintf(stderr, "Error reading %s%s%s\n", shown.c_str(),
                         r.error.empty() ? "" : ": ", r.error.c_str());
            status = 2;
            break;
        case failure::layout:
        case failure::refused:
            std::fprintf(stderr, "%s: %s\n", shown.c_str(), r.error.c_str());
            status = 2;
            break;
        }
        std::fflush(stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Error writing standard output\n");
        return 2;
    }
    return status;
}
