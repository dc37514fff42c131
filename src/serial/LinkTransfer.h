#pragma once

#include "SerialLink.h"

// A transfer counted in while the port is open (false when it is not), so
// that Close waits for it before the descriptor goes. For CSerialLink's own
// files only.
class CSerialLink::Transfer {
public:
    explicit Transfer(CSerialLink& link) : m_link(link), m_held(link.BeginTransfer()) {}
    ~Transfer() {
        if (m_held) {
            m_link.EndTransfer();
        }
    }
    explicit operator bool() const { return m_held; }

private:
    CSerialLink& m_link;
    bool m_held;
};
