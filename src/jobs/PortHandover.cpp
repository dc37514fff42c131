#include "PortHandover.h"

#include "DatabaseFormat.h"

void CCloneHandover::TargetOpened(bool opened) {
    std::lock_guard lock(m_mutex);
    --m_waiting;
    m_allOpen = m_allOpen && opened;
    m_changed.notify_all();
}

bool CCloneHandover::AwaitTargets() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting == 0; });
    return m_allOpen;
}

void CCloneHandover::SourceDone(bool read, std::string text, int status) {
    std::lock_guard lock(m_mutex);
    m_done = true;
    m_read = read;
    m_text = std::move(text);
    m_status = status;
    m_changed.notify_all();
}

bool CCloneHandover::AwaitSource(std::vector<std::string>& lines, int& status) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done; });
    status = m_status;
    if (m_read) {
        lines = SplitDatabaseText(m_text);
    }
    return m_read;
}

void CPortLoan::Lend(const JobPort* port) {
    std::lock_guard lock(m_mutex);
    m_lent = true;
    m_port = port;
    m_changed.notify_all();
}

const JobPort* CPortLoan::Borrow() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_lent; });
    return m_port;
}

void CPortLoan::GiveBack() {
    std::lock_guard lock(m_mutex);
    m_returned = true;
    m_changed.notify_all();
}

void CPortLoan::AwaitReturn() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_returned; });
}
