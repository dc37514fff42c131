#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// A real ser2net in the foreground, serving serial devices as
// telnet(rfc2217), each on a free loopback port of its own, for as long as
// the object lives.
class Ser2netServer {
public:
    // The ser2net program, empty when it is not installed.
    static std::string Program();

    Ser2netServer() = default;
    ~Ser2netServer() { Stop(); }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    // Writes the configuration into folder and starts ser2net on it; true
    // once it listens. kickOldUser: a new client takes the port over. The
    // server ends with the thread that started it.
    bool Start(const std::string& device, const std::string& folder, bool kickOldUser = false);
    // The same for several devices in one ser2net, as a bench host runs it;
    // options: more lines for each connection's options ("chardelay: false").
    bool Start(const std::vector<std::string>& devices, const std::string& folder,
               bool kickOldUser = false, const std::vector<std::string>& options = {});
    // Ends it at once (SIGKILL), as a crash or a pulled plug would.
    void Kill();
    // Ends it (SIGTERM) and waits for it.
    void Stop();

    // Where the device given index-th is served.
    uint16_t Port(size_t index = 0) const { return m_ports.at(index); }
    // "rfc2217://127.0.0.1:PORT".
    std::string Url(size_t index = 0) const;

private:
    ChildProcess m_server;
    std::vector<uint16_t> m_ports;
};

// A loopback port nobody listens on at the moment of asking.
uint16_t FreeLoopbackPort();
