#include "threads.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <vector>

namespace vox::view {

unsigned machine_threads() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return static_cast<unsigned>(count);
        }
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

namespace {

// What the threads of one run share: the shares still running, and the first exception.
class shared_run {
  public:
    // Runs share `t`, keeping its exception.
    void run(const std::function<void(unsigned)>& work, unsigned t) {
        try {
            work(t);
        } catch (...) {
            keep(std::current_exception());
        }
    }
    void keep(std::exception_ptr error) {
        const std::lock_guard lock(mutex_);
        if (!first_) {
            first_ = error;
        }
    }
    void started() {
        const std::lock_guard lock(mutex_);
        ++running_;
    }
    void finished() {
        const std::lock_guard lock(mutex_);
        --running_;
        done_.notify_all();
    }
    // Calls `wait` every few milliseconds until no thread runs.
    void wait_for_all(const std::function<void()>& wait) {
        std::unique_lock lock(mutex_);
        while (running_ > 0) {
            done_.wait_for(lock, std::chrono::milliseconds(20));
            if (wait && running_ > 0) {
                lock.unlock();
                try {
                    wait();
                } catch (...) {
                    keep(std::current_exception());
                }
                lock.lock();
            }
        }
    }
    void rethrow() const {
        if (first_) {
            std::rethrow_exception(first_);
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    unsigned running_ = 0;
    std::exception_ptr first_;
};

} // namespace

void on_threads(unsigned n, const std::function<void(unsigned)>& work,
                const std::function<void()>& wait, const thread_starter& start) {
    shared_run shared;
    std::vector<std::thread> others;
    std::vector<unsigned> left; // the shares whose thread did not start
    bool spread = n > 1;
    try {
        others.reserve(spread ? n - 1 : 0);
        left.reserve(spread ? n - 1 : 0);
    } catch (...) {
        spread = false; // no memory even for that: every share runs here
    }
    for (unsigned t = 1; t < n; ++t) {
        if (!spread) {
            shared.run(work, t);
            continue;
        }
        shared.started();
        try {
            std::function<void()> run = [&shared, &work, t] {
                shared.run(work, t);
                shared.finished();
            };
            others.push_back(start ? start(std::move(run)) : std::thread(std::move(run)));
        } catch (...) {
            // No thread (a process limit, no memory): its share runs here.
            shared.finished();
            left.push_back(t);
        }
    }
    if (n > 0) {
        shared.run(work, 0);
    }
    for (const unsigned t : left) {
        shared.run(work, t);
    }
    shared.wait_for_all(wait);
    for (std::thread& t : others) {
        if (t.joinable()) {
            t.join();
        }
    }
    shared.rethrow();
}

} // namespace vox::view
