// Helper threads that take no signals.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

namespace safewrite {

// Starts `body` on a new thread with every signal blocked, so that the program's handlers (the
// temporary files' clean-up above all) run on the threads that expect them. A new thread inherits the
// mask it is started with; the caller's own mask is restored before returning. Throws std::system_error
// as std::thread does when no thread can be started.
template <class Body> std::thread start_quiet_thread(Body&& body) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    struct Restore {
        const sigset_t& mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{previous};
    return std::thread(std::forward<Body>(body));
}

} // namespace safewrite
