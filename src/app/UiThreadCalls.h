#pragma once

#include <QEvent>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class CUiThreadCalls;
class QObject;

// An event that a worker sends to the UI thread and waits for, as a sent
// window message keeps its sender waiting. The sender is released when the
// receiver has handled it (Finish), or when the event is dropped unhandled.
class CBlockingEvent : public QEvent {
public:
    explicit CBlockingEvent(QEvent::Type type) : QEvent(type) {}
    ~CBlockingEvent() override;
    CBlockingEvent(const CBlockingEvent&) = delete;
    CBlockingEvent& operator=(const CBlockingEvent&) = delete;

    // Releases the waiting sender; called by the receiver once it is done.
    void Finish();

private:
    friend class CUiThreadCalls;
    struct PendingCall {
        bool done = false;
    };
    std::shared_ptr<CUiThreadCalls> m_calls;
    std::shared_ptr<PendingCall> m_call;
};

// A piece of work for the UI thread.
class CUiCallEvent : public CBlockingEvent {
public:
    static const QEvent::Type TYPE;
    explicit CUiCallEvent(std::function<void()> work)
        : CBlockingEvent(TYPE), m_work(std::move(work)) {}

    std::function<void()> m_work;
};

// The channel from the workers to the UI thread. Once closed (the dialog is
// going), nothing more is posted and every waiting worker is released, so a
// worker never blocks on a UI thread that is waiting to join it.
class CUiThreadCalls : public std::enable_shared_from_this<CUiThreadCalls> {
public:
    static std::shared_ptr<CUiThreadCalls> Make() {
        return std::shared_ptr<CUiThreadCalls>(new CUiThreadCalls);
    }

    // Posts event to receiver (taking it over) and waits until it has been
    // handled. False when the channel is closed and the event was dropped.
    bool Send(QObject* receiver, CBlockingEvent* event);
    // Runs work on the receiver's thread and waits for it.
    bool Call(QObject* receiver, std::function<void()> work);
    // Runs work on the receiver's thread without waiting.
    void Post(QObject* receiver, std::function<void()> work);

    void Close();
    bool IsClosed() const;

private:
    CUiThreadCalls() = default;
    friend class CBlockingEvent;
    void Finish(CBlockingEvent::PendingCall& call);

    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_closed = false;
};
