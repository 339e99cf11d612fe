// A thread started ahead of the one piece of work it will be given. A thread
// made while the other core has been idle waits a few milliseconds before the
// system first runs it; a thread already made and waiting wakes in tens of
// microseconds. The export makes its helpers before it paints and hands them
// their work once the chart is drawn.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/helper_thread.h"

namespace exporting {

class StandbyThread {
public:
    // The thread, unless none can be had (then Run refuses all work).
    StandbyThread() {
        try {
            thread_ = platform::HelperThread([this] { Serve(); });
        } catch (const std::system_error&) {
        }
    }
    ~StandbyThread() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            closing_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    StandbyThread(const StandbyThread&) = delete;
    StandbyThread& operator=(const StandbyThread&) = delete;

    // Runs `work` (which does not throw) on the thread; false when there is
    // no thread, it was given work before, or the work cannot be held.
    template <typename Work>
    bool Run(Work&& work) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (!thread_.joinable() || given_ || closing_)
            return false;
        try {
            work_ = std::forward<Work>(work);
        } catch (const std::bad_alloc&) {
            return false;
        }
        given_ = true;
        changed_.notify_all();
        return true;
    }
    // Waits until the work given is done (at once when none was given).
    void Wait() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return !given_ || done_; });
    }

private:
    void Serve() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return given_ || closing_; });
        if (!given_)
            return;
        hold.unlock();
        work_();
        hold.lock();
        done_ = true;
        changed_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::function<void()> work_;
    bool given_ = false;
    bool done_ = false;
    bool closing_ = false;
    std::thread thread_;  // last: made once the rest is ready
};

}  // namespace exporting
