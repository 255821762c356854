// A bounded PPCLAIM. ppdev's claim sleeps until the port's holder lets go, with
// no time-out and no non-blocking form; only a signal ends the sleep (EINTR). So
// the claim runs under a timer of this thread that sends a signal whose handler
// does nothing: at the bound, and every 20 ms after it, in case one came just
// before the claim began to sleep.
#include "host_parallel_device.h"

#include "host_ioctl.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace orbis::platform {

namespace {

int WakeSignal() {
    static int signo = [] {
        int s = SIGRTMIN + 4;
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the claim must come back with EINTR
        struct sigaction old = {};
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) sigaction(s, &action, nullptr);
        return s;
    }();
    return signo;
}

timespec Ms(int64_t ms) {
    return {time_t(ms / 1000), long(ms % 1000) * 1000000L};
}

} // namespace

int ClaimParallelPort(int fd, int64_t boundMs) {
    sigevent event = {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = WakeSignal();
    event._sigev_un._tid = (pid_t)::syscall(SYS_gettid);
    timer_t timer;
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) return -1;
    itimerspec when = {Ms(20), Ms(boundMs > 0 ? boundMs : 1)};
    timer_settime(timer, 0, &when, nullptr);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    int rc, failure;
    do {
        rc = CurrentHostIoctls().parClaim(fd);
        failure = errno;
    } while (rc != 0 && failure == EINTR && std::chrono::steady_clock::now() < deadline);
    timer_delete(timer);
    if (rc != 0) errno = failure == EINTR ? ETIMEDOUT : failure;
    return rc;
}

} // namespace orbis::platform
