#include "UiThreadCalls.h"

#include <QCoreApplication>

const QEvent::Type CUiCallEvent::TYPE = static_cast<QEvent::Type>(QEvent::registerEventType());

CBlockingEvent::~CBlockingEvent() {
    Finish();
}

void CBlockingEvent::Finish() {
    if (m_calls) {
        m_calls->Finish(*m_call);
        m_calls.reset();
        m_call.reset();
    }
}

bool CUiThreadCalls::Send(QObject* receiver, CBlockingEvent* event) {
    auto call = std::make_shared<CBlockingEvent::PendingCall>();
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        lock.unlock();
        delete event;
        return false;
    }
    event->m_calls = shared_from_this();
    event->m_call = call;
    // Posted under the lock, so that nothing reaches the receiver once Close
    // has returned and the receiver may go.
    QCoreApplication::postEvent(receiver, event);
    m_finished.wait(lock, [&] { return call->done || m_closed; });
    return call->done;
}

bool CUiThreadCalls::Call(QObject* receiver, std::function<void()> work) {
    return Send(receiver, new CUiCallEvent(std::move(work)));
}

void CUiThreadCalls::Post(QObject* receiver, std::function<void()> work) {
    std::lock_guard lock(m_mutex);
    if (!m_closed) {
        QCoreApplication::postEvent(receiver, new CUiCallEvent(std::move(work)));
    }
}

void CUiThreadCalls::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_finished.notify_all();
}

bool CUiThreadCalls::IsClosed() const {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

void CUiThreadCalls::Finish(CBlockingEvent::PendingCall& call) {
    {
        std::lock_guard lock(m_mutex);
        call.done = true;
    }
    m_finished.notify_all();
}
