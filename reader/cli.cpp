#include "cli.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vox::cli {

namespace {
enum : int { help_option = 0x10000, version_option };
} // namespace

parsed parse(int argc, char** argv, const std::vector<option>& options) {
    std::vector<option> all;
    for (const option& o : options) {
        if (o.name != nullptr) {
            all.push_back(o);
        }
    }
    all.push_back({"help", no_argument, nullptr, help_option});
    all.push_back({"version", no_argument, nullptr, version_option});
    all.push_back({nullptr, 0, nullptr, 0});
    parsed p;
    optind = 0; // a fresh scan, as GNU getopt takes it
    opterr = 1;
    int c = 0;
    // A leading '-' in the short options: no short options, and operands in place.
    while ((c = getopt_long(argc, argv, "-", all.data(), nullptr)) != -1) {
        if (c == 1) {
            p.operands.emplace_back(optarg);
        } else if (c == help_option && p.result == parsed::outcome::run) {
            p.result = parsed::outcome::help;
        } else if (c == version_option && p.result == parsed::outcome::run) {
            p.result = parsed::outcome::version;
        } else if (c == '?' || c == ':') {
            p.result = parsed::outcome::usage_error;
        } else if (c != help_option && c != version_option) {
            p.options.emplace_back(c, optarg != nullptr ? optarg : "");
        }
    }
    for (int i = optind; i < argc; ++i) {
        p.operands.emplace_back(argv[i]);
    }
    return p;
}

void print_version(const char* program) {
    std::printf("%s (vox) %s\n"
                "Copyright (c) 2026, the vox developers.\n"
                "Licence BSD-3-Clause: you may redistribute it under its terms.\n"
                "There is NO WARRANTY, to the extent permitted by law.\n",
                program, VOX_VERSION);
}

int usage_error(const char* program, const std::string& message) {
    if (!message.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    }
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return usage_status;
}

int finish(const char* program, int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "%s: error writing standard output: %s\n", program,
                     std::strerror(errno));
        return usage_status;
    }
    return status;
}

const char* name_of(int argc, char** argv, const char* fallback) {
    if (argc < 1 || argv[0] == nullptr || argv[0][0] == '\0') {
        return fallback;
    }
    return argv[0];
}

} // namespace vox::cli
