// Work spread over threads without ever taking the process down: a thread that cannot start
// leaves its share to the calling thread, an exception in any share is carried back to the
// caller, and every thread is joined before the caller goes on.
#pragma once

#include <functional>
#include <thread>

namespace vox::view {

// Starts a thread that runs `run`, or throws std::system_error where none can start, as
// std::thread does.
using thread_starter = std::function<std::thread(std::function<void()> run)>;

// The threads that this process may run at once: the processors of its affinity mask (as
// taskset and cgroups set it), at least 1.
unsigned machine_threads();

// Runs `work(t)` for every t from 0 to n - 1: share 0 on the calling thread, every other on a
// thread of its own as `start` (default: std::thread) starts it, or on the calling thread where
// it cannot start one. While other threads still run, `wait()` is called on the calling thread
// every few milliseconds. Every thread is joined; then the first exception that a share (or
// `wait`) threw is thrown again, here.
void on_threads(unsigned n, const std::function<void(unsigned)>& work,
                const std::function<void()>& wait = {}, const thread_starter& start = {});

} // namespace vox::view
