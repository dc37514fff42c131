#pragma once

#include "UiThreadCalls.h"

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <thread>

// A dialog's one worker thread and its way back to the UI thread. The
// worker hands work to the UI thread through Calls(); its last call, posted
// when its work is done, lets the dialog Join it. A dialog that goes first
// Stops it: the worker's calls are dropped from then on, so that it never
// waits on a UI thread that waits for it.
class CDialogWorker {
public:
    // Makes the thread; empty when none could be made.
    using StartThread = std::function<std::unique_ptr<std::thread>(std::function<void()>)>;

    // Runs the worker's calls on context's thread.
    explicit CDialogWorker(QObject* context);
    ~CDialogWorker() { Stop(); }
    CDialogWorker(const CDialogWorker&) = delete;
    CDialogWorker& operator=(const CDialogWorker&) = delete;

    CUiThreadCalls& Calls() { return m_calls; }
    bool Running() const { return m_thread != nullptr; }
    // False when start made no thread.
    bool Start(const StartThread& start, std::function<void()> work);
    // Waits for a worker whose work is done.
    void Join();
    // Drops the worker's calls from now on and waits for it; false when none ran.
    bool Stop();

private:
    CUiThreadCalls m_calls;
    QSocketNotifier m_notifier{m_calls.WakeFd(), QSocketNotifier::Read};
    std::unique_ptr<std::thread> m_thread;
};
