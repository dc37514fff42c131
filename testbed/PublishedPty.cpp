#include "PublishedPty.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

PublishedPty::~PublishedPty() {
    m_publication.Withdraw();
    HangUp();
    if (m_slave >= 0) {
        close(m_slave);
    }
}

bool PublishedPty::Open(const std::string& comName) {
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        return false;
    }
    m_slaveName = name;
    return m_publication.Publish(comName, m_slaveName);
}

std::vector<uint8_t> PublishedPty::Take(int ms) {
    std::vector<uint8_t> got;
    pollfd p{m_master, POLLIN, 0};
    int wait = ms;
    while (poll(&p, 1, wait) > 0) {
        uint8_t buf[256];
        const ssize_t n = read(m_master, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buf, buf + n);
        wait = 50;
    }
    return got;
}

bool PublishedPty::Send(const std::vector<uint8_t>& bytes) {
    return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void PublishedPty::HangUp() {
    if (m_master >= 0) {
        close(m_master);
        m_master = -1;
    }
}
