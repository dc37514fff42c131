#include "Dcb.h"

bool IsParityLetter(char parity) {
    switch (parity) {
    case 'N':
    case 'n':
    case 'E':
    case 'e':
    case 'O':
    case 'o':
    case 'M':
    case 'm':
    case 'S':
    case 's':
        return true;
    default:
        return false;
    }
}

uint8_t ParityCode(char parity) {
    switch (parity) {
    case 'E':
    case 'e':
        return 2;
    case 'M':
    case 'm':
        return 3;
    case 'O':
    case 'o':
        return 1;
    case 'S':
    case 's':
        return 4;
    default:
        return 0;
    }
}

Dcb BuildDcb(const SerialSettings& s) {
    Dcb dcb;
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.byteSize;
    dcb.StopBits = s.stopBits;
    dcb.Parity = ParityCode(s.parity);

    uint32_t f = DCB_FBINARY | DCB_FPARITY;
    if (s.outxCtsFlow & 1) {
        f |= DCB_FOUTXCTSFLOW;
    }
    if (s.outxDsrFlow & 1) {
        f |= DCB_FOUTXDSRFLOW;
    }
    f |= (s.dtrControl & 3u) << DCB_FDTRCONTROL_SHIFT;
    if (s.dsrSensitivity & 1) {
        f |= DCB_FDSRSENSITIVITY;
    }
    if (s.txContinueOnXoff & 1) {
        f |= DCB_FTXCONTINUEONXOFF;
    }
    if (s.outX & 1) {
        f |= DCB_FOUTX;
    }
    if (s.inX & 1) {
        f |= DCB_FINX;
    }
    f |= (s.rtsControl & 3u) << DCB_FRTSCONTROL_SHIFT;
    dcb.flags = f;

    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    dcb.XonLim = s.xonLim;
    dcb.XoffLim = s.xoffLim;
    dcb.EofChar = s.eofChar;
    dcb.ErrorChar = 0;
    dcb.EvtChar = (s.evtMask & EV_RXFLAG) ? s.evtChar : '\0';
    return dcb;
}
