#include "DialogWorker.h"

CDialogWorker::CDialogWorker(QObject* context) {
    QObject::connect(&m_notifier, &QSocketNotifier::activated, context,
                     [this] { m_calls.RunPending(); });
}

bool CDialogWorker::Start(const StartThread& start, std::function<void()> work) {
    m_thread = start(std::move(work));
    return m_thread != nullptr;
}

void CDialogWorker::Join() {
    if (m_thread && m_thread->joinable()) {
        m_thread->join();
    }
    m_thread.reset();
}

bool CDialogWorker::Stop() {
    if (!m_thread) {
        return false;
    }
    m_calls.Close();
    Join();
    return true;
}
