#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where a port on another host is served: a ser2net (or any RFC 2217
// server) at host and TCP port.
struct NetworkTarget {
    std::string host; // a name, an IPv4 address or an IPv6 address without brackets
    uint16_t port = 0;

    bool operator==(const NetworkTarget&) const = default;
};

// Reads "rfc2217://HOST:PORT", with an IPv6 address in brackets
// ("rfc2217://[::1]:2217"); the scheme in any case, nothing after the port.
// Empty for anything else, a port outside 1..65535 included.
std::optional<NetworkTarget> ParseNetworkTarget(const std::string& text);

// "HOST:PORT" as a person writes it, an IPv6 address in brackets.
std::string HostAndPort(const NetworkTarget& target);

// The gensio that reaches it: telnet with the RFC 2217 options over TCP,
// each write sent at once (no Nagle): a frame held back until the purge
// before it is acknowledged would wait for the server's delayed
// acknowledgement.
std::string GensioConnectString(const NetworkTarget& target);
