// Running a built converter in a scratch folder and comparing everything it leaves behind.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vox::test {

struct link {
    std::string name = {};
    std::string target = {};
    bool hard = false;
};

// A named pipe in the scratch folder. Without a `feed`, a reader holds it open through the run
// (what the program writes into it must fit the pipe) and what came through must be `arrives`,
// unless it is `unread`; with one, a writer sends those bytes (as many as fit the pipe) once the
// program opens it to read.
struct fifo {
    std::string name = {};
    std::optional<std::string> feed = {};
    std::string arrives = {};
    bool unread = false; // no reader: a program that opens it to write waits until killed
};

// One run: the files it finds, its arguments, and what must come of it. The output file is
// out.vtk in the scratch folder; every other file made for the run must be unchanged after it.
struct e2e_case {
    std::string name = {};
    std::map<std::string, std::string> files = {}; // a name ending in '/' is an empty folder
    std::vector<std::string> args = {};            // after the program name
    int status = 0;
    std::string err = {};                // standard error, exactly
    std::optional<std::string> out = {}; // out.vtk afterwards; none: it must not exist
    std::vector<link> links = {};
    std::optional<std::string> argv0 = {}; // the invocation name, the program's own by default
    std::vector<int> closed = {};          // standard descriptors closed when the program starts
    std::vector<fifo> fifos = {};
};

// gtest names a failing row by this.
void PrintTo(const e2e_case& c, std::ostream* os);

struct outcome {
    int status; // the exit status, or 128 and the signal
    std::string out;
    std::string err;
    long max_rss_kib; // the child's peak resident memory
};

// A fresh folder under the temporary directory, removed with its contents at the end of scope.
class scratch_dir {
  public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The blank-separated words of `text`: a short way to write an argument list.
std::vector<std::string> words(const std::string& text);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

struct run_options {
    std::vector<int> closed = {}; // standard descriptors to close before the program starts
    // RLIMIT_FSIZE for the program, with SIGXFSZ ignored, so that a write past it fails with
    // EFBIG. Every row of a table runs under one: a broken build must not fill the disk.
    std::optional<unsigned long> file_size_limit = {};
    // Seconds after which SIGALRM ends the program: a run that waits for ever fails, not the suite.
    unsigned time_limit = 0;
    // The program's whole environment, "NAME=value" each; none: this process's.
    std::optional<std::vector<std::string>> environment = {};
};

// Runs `program` with exactly `argv` in folder `dir`, standard input from /dev/null, and no other
// descriptor open beyond the three standard ones.
outcome run_program(const std::string& program, const std::vector<std::string>& argv,
                    const std::string& dir, const run_options& options = {});

// Lays out the files of `c`, runs it, and checks status, both output streams and every file.
void check_case(const std::string& program, const std::string& default_argv0, const e2e_case& c);

// The row's name as gtest accepts it for a test.
std::string case_name(const testing::TestParamInfo<e2e_case>& row);

} // namespace vox::test
