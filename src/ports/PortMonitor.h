#pragma once

#include <string>

struct udev;
struct udev_monitor;

// Tells when serial ports may have come or gone: udev's tty devices (an
// adapter plugged in or out), the links of the port directory (a simulator
// or an operator publishing a port) and the folder of the names file (an
// operator naming a port). One descriptor to poll; the
// owner reads the port list again when TakeChanges says so. Where udev is
// not running only the port directory is watched, without a word.
class CPortMonitor {
public:
    CPortMonitor() = default;
    ~CPortMonitor();
    CPortMonitor(const CPortMonitor&) = delete;
    CPortMonitor& operator=(const CPortMonitor&) = delete;

    // Watches the port directory (made when missing) and udev; true when at
    // least one of them is watched.
    bool Start();
    void Stop();

    // Readable while notifications wait; -1 before Start.
    int Fd() const { return m_epoll; }
    // Takes every waiting notification without blocking; true when one of
    // them may change the port list.
    bool TakeChanges();

    bool WatchesUdev() const { return m_udevMonitor != nullptr; }
    bool WatchesPortDirectory() const { return m_watch >= 0; }

private:
    bool WatchPortDirectory();
    void WatchNamesFolder();

    int m_epoll = -1;
    int m_inotify = -1;
    int m_watch = -1;
    int m_namesWatch = -1;
    std::string m_dir;
    udev* m_udev = nullptr;
    udev_monitor* m_udevMonitor = nullptr;
};
