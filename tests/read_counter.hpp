// Counts the read() calls that this process makes on one descriptor, by standing in for the C
// library's read: a payload that the kernel copies never passes through it.
#pragma once

namespace vox::test {

void watch_reads(int fd); // starts counting from 0; -1 stops
long watched_reads();

} // namespace vox::test
