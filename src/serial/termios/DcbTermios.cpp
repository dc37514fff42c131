#include "DcbTermios.h"

#include <cstdint>

namespace {

struct RateCode {
    uint32_t rate;
    unsigned code;
};

constexpr RateCode RATES[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

unsigned RateConstant(uint32_t rate) {
    for (const auto& r : RATES) {
        if (r.rate == rate) {
            return r.code;
        }
    }
    return BOTHER;
}

} // namespace

void DcbToTermios(const Dcb& dcb, struct termios2& t) {
    // Raw: no input or output processing, no echo, no signals.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);

    // CLOCAL so that opening and transfers never wait for carrier; HUPCL off so
    // closing leaves DTR as the program set it.
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL | CBAUD);
    t.c_cflag |= CLOCAL | CREAD;

    switch (dcb.ByteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }

    switch (dcb.Parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break; // odd
    case 2:
        t.c_cflag |= PARENB;
        break; // even
    case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break; // mark
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break; // space
    default:
        break;
    }
    if (dcb.Parity != 0) {
        t.c_iflag |= INPCK;
    }

    // One and a half stop bits has no termios form; two is the nearest.
    if (dcb.StopBits != 0) {
        t.c_cflag |= CSTOPB;
    }

    const bool ctsFlow = dcb.flags & DCB_FOUTXCTSFLOW;
    const bool rtsHandshake = ((dcb.flags >> DCB_FRTSCONTROL_SHIFT) & 3u) == 2;
    if (ctsFlow || rtsHandshake) {
        t.c_cflag |= CRTSCTS;
    }

    if (dcb.flags & DCB_FOUTX) {
        t.c_iflag |= IXON;
    }
    if (dcb.flags & DCB_FINX) {
        t.c_iflag |= IXOFF;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    // Never block in read(): the transfer loops do their own waiting.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    const unsigned code = RateConstant(dcb.BaudRate);
    t.c_cflag |= code;
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;
    t.c_cflag &= ~(CBAUD << IBSHIFT); // input rate follows the output rate
}

#include "LineState.h"

#include <cstring>
#include <sys/ioctl.h>

static_assert(sizeof(struct termios2) <= SAVED_LINE_SIZE);

bool SaveLine(int fd, unsigned char* saved) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    std::memcpy(saved, &t, sizeof t);
    return true;
}

bool RestoreLine(int fd, const unsigned char* saved) {
    struct termios2 t {};
    std::memcpy(&t, saved, sizeof t);
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool ApplyDcb(int fd, const Dcb& dcb) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    DcbToTermios(dcb, t);
    return ioctl(fd, TCSETS2, &t) == 0;
}
