// The command-line conventions of the programs that read the layout (voxinfo, voxlink), as GNU
// programs have them: options parsed by getopt_long(3), so that they may be abbreviated and stand
// anywhere, "--" ending them; --help and --version on standard output with status 0; a usage
// error on standard error with status 2.
#pragma once

#include <getopt.h>
#include <string>
#include <vector>

namespace vox::cli {

constexpr int usage_status = 2;

struct parsed {
    enum class outcome { run, help, version, usage_error } result = outcome::run;
    std::vector<std::pair<int, std::string>> options; // (the option's value field, its argument)
    std::vector<std::string> operands;
};

// Parses `argv` against `options` (terminated by an all-zero entry); --help and --version are
// added. An option that is not known, or lacks its argument, is a usage error, reported by
// getopt_long in its words.
parsed parse(int argc, char** argv, const std::vector<option>& options);

// "voxlink (vox) 1.2.0" and the licence lines, on standard output.
void print_version(const char* program);

// "PROGRAM: MESSAGE" (unless empty) and a pointer to --help, on standard error; the usage status.
int usage_error(const char* program, const std::string& message);

// Flushes standard output and reports a failed write: the status to end with, given `status`.
int finish(const char* program, int status);

// The program's name as invoked, as messages name it.
const char* name_of(int argc, char** argv, const char* fallback);

} // namespace vox::cli
