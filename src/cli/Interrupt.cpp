#include "Interrupt.h"

#include "ExitStatus.h"

#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

CInterruptWatch::CInterruptWatch(CRunControl& control) : m_control(control) {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = signalfd(-1, &set, SFD_CLOEXEC);
    m_stopFd = eventfd(0, EFD_CLOEXEC);
    if (m_signalFd >= 0 && m_stopFd >= 0) {
        m_thread = std::thread([this] { Watch(); });
    }
}

CInterruptWatch::~CInterruptWatch() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!write(m_stopFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_signalFd >= 0) {
        close(m_signalFd);
    }
    if (m_stopFd >= 0) {
        close(m_stopFd);
    }
}

void CInterruptWatch::Watch() {
    int received = 0;
    for (;;) {
        pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue; // EINTR
        }
        if (fds[1].revents != 0) {
            return;
        }
        signalfd_siginfo info{};
        if (read(m_signalFd, &info, sizeof info) != sizeof info) {
            continue;
        }
        if (++received > 1) {
            // Asked twice: the operator will not wait. One line on what stays.
            m_control.EndAtOnce(EXIT_INTERRUPTED);
        }
        m_control.Interrupt();
    }
}
