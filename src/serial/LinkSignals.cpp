#include "LinkSignals.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

LinkSignals::LinkSignals()
    : m_abortFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_closingFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LinkSignals::~LinkSignals() {
    for (const int fd : {m_abortFd, m_closingFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool LinkSignals::Raise(LinkSignal signal) {
    const uint64_t one = 1;
    return write(Fd(signal), &one, sizeof one) == sizeof one;
}

bool LinkSignals::Lower(LinkSignal signal) {
    uint64_t value = 0;
    // Reading the counter clears it; an already clear signal gives EAGAIN.
    return read(Fd(signal), &value, sizeof value) == sizeof value || errno == EAGAIN;
}
