#pragma once

#include <string>

// The simulated module's line: the master side of a pseudo-terminal, with
// its slave set raw at once and kept open for the pair's whole life, so the
// master never sees a hang-up between clients.
class CPseudoTerminal {
public:
    CPseudoTerminal() = default;
    ~CPseudoTerminal() { Close(); }
    CPseudoTerminal(const CPseudoTerminal&) = delete;
    CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return m_master >= 0; }
    // Non-blocking.
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
