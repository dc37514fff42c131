#include "UiThreadCalls.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CUiThreadCalls::CUiThreadCalls() {
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CUiThreadCalls::~CUiThreadCalls() {
    Close();
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

void CUiThreadCalls::Enqueue(const std::shared_ptr<Pending>& item) {
    m_queue.push_back(item);
    const uint64_t one = 1;
    (void)!write(m_wakeFd, &one, sizeof one);
}

bool CUiThreadCalls::Call(std::function<void()> work) {
    auto item = std::make_shared<Pending>();
    item->work = std::move(work);
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        return false;
    }
    Enqueue(item);
    m_finished.wait(lock, [&] { return item->done || m_closed; });
    return item->done;
}

void CUiThreadCalls::Post(std::function<void()> work) {
    auto item = std::make_shared<Pending>();
    item->work = std::move(work);
    std::lock_guard lock(m_mutex);
    if (!m_closed) {
        Enqueue(item);
    }
}

void CUiThreadCalls::RunPending() {
    uint64_t count = 0;
    (void)!read(m_wakeFd, &count, sizeof count);
    for (;;) {
        std::shared_ptr<Pending> item;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed || m_queue.empty()) {
                return;
            }
            item = m_queue.front();
            m_queue.pop_front();
        }
        // Run unlocked: the work may open a modal box, whose event loop
        // comes back here.
        item->work();
        {
            std::lock_guard lock(m_mutex);
            item->done = true;
        }
        m_finished.notify_all();
    }
}

void CUiThreadCalls::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_queue.clear();
    }
    m_finished.notify_all();
}
