#include "Ser2netServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// ser2net lives in sbin, which a plain user's PATH may lack.
bool IsExecutable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

// Whether /proc/net/tcp lists 127.0.0.1:port as listening (state 0A).
bool Listening(uint16_t port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

// Waits, with a deadline, until something listens on 127.0.0.1:port; false
// at once when the server ends first.
bool AwaitListening(uint16_t port, ChildProcess& server) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        if (Listening(port)) {
            return true;
        }
        if (server.Ended()) {
            return false; // it gave up (a port taken meanwhile, a bad configuration)
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

std::string Ser2netServer::Program() {
    const char* path = std::getenv("PATH");
    std::string dirs = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/local/sbin";
    std::istringstream list(dirs);
    std::string dir;
    while (std::getline(list, dir, ':')) {
        if (!dir.empty() && IsExecutable(dir + "/ser2net")) {
            return dir + "/ser2net";
        }
    }
    return {};
}

uint16_t FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool Ser2netServer::Start(const std::string& device, const std::string& folder, bool kickOldUser) {
    return Start(std::vector<std::string>{device}, folder, kickOldUser);
}

bool Ser2netServer::Start(const std::vector<std::string>& devices, const std::string& folder,
                          bool kickOldUser, const std::vector<std::string>& options) {
    const std::string program = Program();
    m_ports.clear();
    if (program.empty() || devices.empty()) {
        return false;
    }
    const std::string config = folder + "/ser2net.yaml";
    {
        std::ofstream out(config);
        for (size_t i = 0; i < devices.size(); ++i) {
            // Taken while nothing listens on them yet: a port asked for
            // twice would clash in the configuration itself.
            uint16_t port = 0;
            do {
                port = FreeLoopbackPort();
            } while (port != 0 && std::find(m_ports.begin(), m_ports.end(), port) != m_ports.end());
            if (port == 0) {
                return false;
            }
            m_ports.push_back(port);
            out << "connection: &con" << i << "\n"
                << "  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," << port << "\n"
                << "  connector: serialdev," << devices[i] << ",9600n81,local\n";
            if (kickOldUser || !options.empty()) {
                out << "  options:\n" << (kickOldUser ? "    kickolduser: true\n" : "");
                for (const std::string& option : options) {
                    out << "    " << option << "\n";
                }
            }
        }
    }
    // A test that dies at once (a sanitizer's halt) takes its server along,
    // so Start belongs on a thread that outlives the server.
    ChildOptions child;
    child.output = ChildOutput::File;
    child.outputFile = folder + "/ser2net.log";
    child.errors = ChildErrors::AsOutput;
    child.name = "ser2net";
    child.endWithStartingThread = true;
    // -n: in the foreground; -u: no UUCP lock files (the devices are ours).
    m_server.Start(program, {"-n", "-u", "-c", config, "-P", folder + "/ser2net.pid"}, child);
    for (const uint16_t port : m_ports) {
        if (!m_server.Running() || !AwaitListening(port, m_server)) {
            Stop();
            return false;
        }
    }
    return true;
}

void Ser2netServer::Kill() {
    m_server.Stop(SIGKILL);
}

void Ser2netServer::Stop() {
    m_server.Stop(SIGTERM);
}

std::string Ser2netServer::Url(size_t index) const {
    return "rfc2217://127.0.0.1:" + std::to_string(Port(index));
}
