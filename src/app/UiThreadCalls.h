#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The workers' way to the UI thread. A worker hands over a piece of work and
// waits until the UI thread has run it, as a sent window message keeps its
// sender waiting. The work waits in a queue of our own, under our own lock,
// and the UI thread is woken through a file descriptor it watches (a
// QSocketNotifier): nothing the two threads share passes through Qt.
// Once closed (the dialog is going), nothing more runs and every waiting
// worker is released, so a worker never blocks on a UI thread that is
// waiting to join it.
class CUiThreadCalls {
public:
    CUiThreadCalls();
    ~CUiThreadCalls();
    CUiThreadCalls(const CUiThreadCalls&) = delete;
    CUiThreadCalls& operator=(const CUiThreadCalls&) = delete;

    // Readable while work is waiting; for the UI thread's notifier.
    int WakeFd() const { return m_wakeFd; }

    // From a worker: runs work on the UI thread and waits for it. False when
    // the channel is closed and the work was dropped.
    bool Call(std::function<void()> work);
    // From a worker: runs work on the UI thread without waiting.
    void Post(std::function<void()> work);

    // On the UI thread, when WakeFd is readable: runs what is waiting.
    void RunPending();
    void Close();

private:
    struct Pending {
        std::function<void()> work;
        bool done = false;
    };
    void Enqueue(const std::shared_ptr<Pending>& item);

    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::deque<std::shared_ptr<Pending>> m_queue;
    bool m_closed = false;
    int m_wakeFd = -1;
};
