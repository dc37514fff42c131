#include "NetworkTarget.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

constexpr std::string_view SCHEME = "rfc2217://";

bool StartsWithScheme(const std::string& text) {
    if (text.size() < SCHEME.size()) {
        return false;
    }
    return std::equal(SCHEME.begin(), SCHEME.end(), text.begin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

std::optional<uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    unsigned value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

// Letters, digits, '-', '.' and '_' for a name or an IPv4 address; gensio
// splits its strings at commas, so anything else stays out.
bool IsHostName(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
    });
}

// Hex digits, ':' and '.' (an embedded IPv4 address), and a '%' zone of
// letters and digits.
bool IsIpv6Address(std::string_view host) {
    const size_t zone = host.find('%');
    const std::string_view address = host.substr(0, zone);
    const bool addressOk =
        address.find(':') != std::string_view::npos &&
        std::all_of(address.begin(), address.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
        });
    if (!addressOk || zone == std::string_view::npos) {
        return addressOk;
    }
    const std::string_view name = host.substr(zone + 1);
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c));
    });
}

} // namespace

std::optional<NetworkTarget> ParseNetworkTarget(const std::string& text) {
    if (!StartsWithScheme(text)) {
        return std::nullopt;
    }
    const std::string_view rest = std::string_view(text).substr(SCHEME.size());
    std::string_view host;
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || rest.substr(close + 1, 1) != ":") {
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
        if (!IsIpv6Address(host)) {
            return std::nullopt;
        }
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (!IsHostName(host)) {
            return std::nullopt;
        }
    }
    const std::optional<uint16_t> port = ParsePort(portText);
    if (!port) {
        return std::nullopt;
    }
    return NetworkTarget{std::string(host), *port};
}

std::string HostAndPort(const NetworkTarget& target) {
    const bool ipv6 = target.host.find(':') != std::string::npos;
    const std::string host = ipv6 ? "[" + target.host + "]" : target.host;
    return host + ":" + std::to_string(target.port);
}

std::string GensioConnectString(const NetworkTarget& target) {
    return "telnet(rfc2217),tcp(nodelay)," + target.host + "," + std::to_string(target.port);
}
