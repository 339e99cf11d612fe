// Threads that work beside the main thread.
#pragma once

#include <thread>
#include <utility>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

#include "platform/whole_file.h"

namespace platform {

// Asks that `thread` run on a processor other than the caller's, when the
// process may use another; a hint, which changes nothing when it fails.
inline void KeepOffThisProcessor(std::thread& thread) {
#ifdef __linux__
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    const int here = sched_getcpu();
    if (here < 0 || here >= CPU_SETSIZE || sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
        !CPU_ISSET(here, &allowed) || CPU_COUNT(&allowed) < 2)
        return;
    CPU_CLR(here, &allowed);
    pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed);
#else
    (void)thread;
#endif
}

// A thread for work beside the calling one. It never takes the signals that
// end the program (the main thread's handling of them stays whole), and it
// keeps off its maker's processor. Left to itself, the scheduler may queue a
// new or woken thread behind its busy maker for a whole time slice while
// another processor idles: on a virtual machine that reports its idle
// processors as taken, 2 to 4 ms per thread. Throws std::system_error when no
// thread can be had, as std::thread does.
template <typename Work>
std::thread HelperThread(Work&& work) {
    const SignalsHeld held;
    std::thread thread(std::forward<Work>(work));
    KeepOffThisProcessor(thread);
    return thread;
}

}  // namespace platform
