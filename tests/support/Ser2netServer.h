#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// A real ser2net in the foreground, serving one serial device as
// telnet(rfc2217) on a free loopback port, for as long as the object lives.
class Ser2netServer {
public:
    // The ser2net program, empty when it is not installed.
    static std::string Program();

    Ser2netServer() = default;
    ~Ser2netServer() { Stop(); }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // Writes the configuration into folder and starts ser2net on it; true
    // once it listens. kickOldUser: a new client takes the port over.
    bool Start(const std::string& device, const std::string& folder, bool kickOldUser = false);
    // Ends it at once (SIGKILL), as a crash or a pulled plug would.
    void Kill();
    // Ends it (SIGTERM) and waits for it.
    void Stop();

    uint16_t Port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT".
    std::string Url() const;

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

// A loopback port nobody listens on at the moment of asking.
uint16_t FreeLoopbackPort();
// Waits, with a deadline, until something listens on 127.0.0.1:port; false
// at once when server (when > 0) ends first, which then reads -1.
bool AwaitListening(uint16_t port, pid_t& server);
