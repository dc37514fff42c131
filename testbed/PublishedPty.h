#pragma once

#include "PortDirectory.h"

#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal whose slave is published as a COM name; the test plays
// the device on the master side.
class PublishedPty {
public:
    PublishedPty() = default;
    ~PublishedPty();
    PublishedPty(const PublishedPty&) = delete;
    PublishedPty& operator=(const PublishedPty&) = delete;

    // Opens the pair and publishes the slave as comName ("COM7").
    bool Open(const std::string& comName);
    int Master() const { return m_master; }
    // Kept open for the pair's life, so the master never sees a hang-up.
    int Slave() const { return m_slave; }
    const std::string& SlaveName() const { return m_slaveName; }
    const std::string& LinkPath() const { return m_publication.LinkPath(); }

    // The bytes that arrive on the master within ms, taken until 50 ms of silence.
    std::vector<uint8_t> Take(int ms);
    // Writes bytes to the master; false when not all went.
    bool Send(const std::vector<uint8_t>& bytes);
    // Closes the master: the slave side sees a hang-up.
    void HangUp();
    // Removes the COM name, leaving the pair as it is.
    void Withdraw() { m_publication.Withdraw(); }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slaveName;
    PortPublication m_publication;
};
