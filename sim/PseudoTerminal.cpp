#include "PseudoTerminal.h"

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

bool CPseudoTerminal::Open() {
    if (IsOpen()) {
        return true;
    }
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0) {
        return false;
    }
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        Close();
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        Close();
        return false;
    }
    return true;
}

void CPseudoTerminal::Close() {
    for (int* fd : {&m_slave, &m_master}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}
