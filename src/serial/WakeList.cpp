#include "WakeList.h"

#include <algorithm>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

class CThreadWakeFd {
public:
    CThreadWakeFd() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~CThreadWakeFd() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CThreadWakeFd(const CThreadWakeFd&) = delete;
    CThreadWakeFd& operator=(const CThreadWakeFd&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

int ThisThreadsWakeFd() {
    thread_local CThreadWakeFd fd;
    return fd.Fd();
}

} // namespace

WakeList::Entry::Entry(WakeList& list) : m_list(list), m_fd(ThisThreadsWakeFd()) {
    if (m_fd < 0) {
        return;
    }
    Clear();
    std::lock_guard lock(m_list.m_mutex);
    m_list.m_fds.push_back(m_fd);
}

WakeList::Entry::~Entry() {
    if (m_fd < 0) {
        return;
    }
    std::lock_guard lock(m_list.m_mutex);
    const auto at = std::find(m_list.m_fds.begin(), m_list.m_fds.end(), m_fd);
    if (at != m_list.m_fds.end()) {
        m_list.m_fds.erase(at);
    }
}

void WakeList::Entry::Clear() {
    uint64_t value = 0;
    (void)!read(m_fd, &value, sizeof value);
}

void WakeList::WakeAll() {
    std::lock_guard lock(m_mutex);
    const uint64_t one = 1;
    for (const int fd : m_fds) {
        (void)!write(fd, &one, sizeof one);
    }
}
