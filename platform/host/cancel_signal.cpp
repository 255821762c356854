#include "cancel_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace orbis::platform {

CancelSignal::CancelSignal() {
    for (int& fd : fds_)
        fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CancelSignal::~CancelSignal() {
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

CancelSignal::ReadTurn::ReadTurn(CancelSignal& signal)
    : signal_(signal), oneReader_(signal.readerMutex_), started_(signal.BeginRead(&generation_)) {}

CancelSignal::ReadTurn::~ReadTurn() {
    if (started_) signal_.EndRead();
}

bool CancelSignal::BeginRead(uint64_t* generation) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelNextRead_) {
        cancelNextRead_ = false;
        return false;
    }
    *generation = generation_.load();
    reading_ = true;
    return true;
}

void CancelSignal::EndRead() {
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = false;
}

void CancelSignal::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        generation_.fetch_add(1);
        if (!reading_) cancelNextRead_ = true;
    }
    uint64_t one = 1;
    for (int fd : fds_)
        [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

bool CancelSignal::Woken(Waiter waiter, uint64_t generation) {
    uint64_t drained;
    [[maybe_unused]] ssize_t n = ::read(fds_[waiter], &drained, sizeof drained);
    return CancelledSince(generation);
}

} // namespace orbis::platform
