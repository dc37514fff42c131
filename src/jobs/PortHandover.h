#pragma once

#include "JobPort.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// Where the threads of a clone meet, one a port: each target says whether
// its port opened, the source reads only once every target is open, then
// hands what it read to all of them at once.
class CCloneHandover {
public:
    explicit CCloneHandover(size_t targets) : m_waiting(targets) {}

    void TargetOpened(bool opened);
    // True when every target is open.
    bool AwaitTargets();
    // The source's end: the database text it read (read false: none), and
    // the status its front end gave it, for the targets left without lines.
    void SourceDone(bool read, std::string text, int status);
    // The source's lines, or false (and its status) when it was not read.
    bool AwaitSource(std::vector<std::string>& lines, int& status);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_waiting;
    bool m_allOpen = true;
    bool m_done = false;
    bool m_read = false;
    std::string m_text;
    int m_status = 0;
};

// One thread lends its open port to another until it is given back: the
// lender waits meanwhile, so that the borrower runs a job on both ports (a
// check by air) and nothing else uses the lent one.
class CPortLoan {
public:
    // nullptr: the lender's port did not open, there is nothing to lend.
    void Lend(const JobPort* port);
    // Waits for the lender; nullptr when it had nothing to lend.
    const JobPort* Borrow();
    void GiveBack();
    void AwaitReturn();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_lent = false;
    bool m_returned = false;
    const JobPort* m_port = nullptr;
};
