// Counts the calls that this process makes to move bytes out of one descriptor: read(), and the
// kernel's copy_file_range, sendfile and splice, by standing in for the C library's functions.
// Which of them a copy makes, and how often, tells its route and the size of its steps.
#pragma once

namespace vox::test {

struct call_counts {
    long read = 0;
    long copy_file_range = 0;
    long sendfile = 0;
    long splice = 0;
};

void watch_calls(int fd); // counts the calls whose input is `fd`, from 0; -1 stops
call_counts watched_calls();

} // namespace vox::test
