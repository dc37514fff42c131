#pragma once

#include <mutex>
#include <vector>

// The threads that wait on a state another thread changes. Each thread has
// an eventfd of its own (made at its first wait, kept for the thread's life)
// that WakeAll writes to. A thread enters the list before it first looks at
// the state, so a change between its look and its sleep still wakes it, and
// it sleeps once, in the same ppoll as its other descriptors.
class WakeList {
public:
    // This thread's place in the list, for as long as it lives.
    class Entry {
    public:
        explicit Entry(WakeList& list);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

        // Readable once WakeAll ran after the last Clear; -1 when the thread
        // could not get a descriptor (the wait then lasts to its deadline).
        int Fd() const { return m_fd; }
        void Clear();

    private:
        WakeList& m_list;
        int m_fd;
    };

    void WakeAll();

private:
    std::mutex m_mutex;
    std::vector<int> m_fds;
};
