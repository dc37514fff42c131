#include "PortMonitor.h"

#include "PortDirectory.h"
#include "PortNamesFile.h"

#include <cerrno>
#include <libudev.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// What changes a link's presence or liveness: links made, removed or
// renamed, and a publisher's lock file closed (the publisher has gone).
constexpr uint32_t DIRECTORY_EVENTS = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

bool AddToEpoll(int epoll, int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) == 0;
}

} // namespace

CPortMonitor::~CPortMonitor() {
    Stop();
}

bool CPortMonitor::Start() {
    Stop();
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        return false;
    }

    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify >= 0 && AddToEpoll(m_epoll, m_inotify)) {
        WatchPortDirectory();
        WatchNamesFolder();
    }

    m_udev = udev_new();
    if (m_udev != nullptr) {
        m_udevMonitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (m_udevMonitor != nullptr &&
            (udev_monitor_filter_add_match_subsystem_devtype(m_udevMonitor, "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(m_udevMonitor) < 0 ||
             !AddToEpoll(m_epoll, udev_monitor_get_fd(m_udevMonitor)))) {
            udev_monitor_unref(m_udevMonitor);
            m_udevMonitor = nullptr;
        }
    }
    return WatchesUdev() || WatchesPortDirectory();
}

void CPortMonitor::Stop() {
    if (m_udevMonitor != nullptr) {
        udev_monitor_unref(m_udevMonitor);
    }
    m_udevMonitor = nullptr;
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
    m_udev = nullptr;
    if (m_inotify >= 0) {
        close(m_inotify);
    }
    m_inotify = -1;
    m_watch = -1;
    m_namesWatch = -1;
    if (m_epoll >= 0) {
        close(m_epoll);
    }
    m_epoll = -1;
}

bool CPortMonitor::WatchPortDirectory() {
    if (m_inotify < 0) {
        return false;
    }
    m_dir = PortDirectoryPath();
    if (!EnsurePortDirectory(m_dir)) {
        return false;
    }
    m_watch = inotify_add_watch(m_inotify, m_dir.c_str(), DIRECTORY_EVENTS | IN_ONLYDIR);
    return m_watch >= 0;
}

// The names file's folder, or while it is missing the folder above it, so
// that the file is seen however an editor writes it (in place, or a new file
// renamed over it).
void CPortMonitor::WatchNamesFolder() {
    const std::string file = PortNamesPath();
    const std::string folder = file.substr(0, file.rfind('/'));
    constexpr uint32_t EVENTS = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                IN_DELETE | IN_ATTRIB | IN_ONLYDIR;
    m_namesWatch = inotify_add_watch(m_inotify, folder.c_str(), EVENTS);
    if (m_namesWatch < 0) {
        m_namesWatch =
            inotify_add_watch(m_inotify, folder.substr(0, folder.rfind('/')).c_str(), EVENTS);
    }
}

bool CPortMonitor::TakeChanges() {
    bool changed = false;
    if (m_inotify >= 0) {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_inotify, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
                if (ev->wd == m_watch &&
                    (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))) {
                    m_watch = -1; // the directory went; watch it again once it is back
                }
                changed = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            }
        }
        // Made again (or for the first time) since: watch it, and read the list.
        if (m_watch < 0 && WatchPortDirectory()) {
            changed = true;
        }
        if (changed) {
            // The names folder may have been made meanwhile. Watching a folder
            // watched already keeps its watch and raises no event.
            WatchNamesFolder();
        }
    }
    if (m_udevMonitor != nullptr) {
        while (udev_device* dev = udev_monitor_receive_device(m_udevMonitor)) {
            changed = true;
            udev_device_unref(dev);
        }
    }
    return changed;
}
