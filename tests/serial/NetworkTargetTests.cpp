#include "NetworkTarget.h"

#include <gtest/gtest.h>

namespace {

TEST(NetworkTarget, ReadsHostAndPortAfterTheScheme) {
    struct Case {
        const char* text;
        const char* host;
        uint16_t port;
    };
    const Case cases[] = {
        {"rfc2217://bench-pi:2217", "bench-pi", 2217},
        {"RFC2217://192.168.1.20:4001", "192.168.1.20", 4001},
        {"rfc2217://lab.example.org:1", "lab.example.org", 1},
        {"rfc2217://host_2:65535", "host_2", 65535},
        {"rfc2217://[::1]:2217", "::1", 2217},
        {"rfc2217://[fe80::1%eth0]:7000", "fe80::1%eth0", 7000},
        {"rfc2217://[::ffff:10.0.0.1]:80", "::ffff:10.0.0.1", 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto target = ParseNetworkTarget(c.text);
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->host, c.host);
        EXPECT_EQ(target->port, c.port);
    }
}

TEST(NetworkTarget, RefusesAnythingElse) {
    for (const char* text : {"",
                             "rfc2217://",
                             "rfc2217://host",
                             "rfc2217://host:",
                             "rfc2217://:2217",
                             "rfc2217://host:0",
                             "rfc2217://host:65536",
                             "rfc2217://host:123456",
                             "rfc2217://host:22x",
                             "rfc2217://host:+22",
                             "rfc2217://host:2217/",
                             "rfc2217://host:2217 ",
                             "tcp://host:2217",
                             "host:2217",
                             "/dev/ttyUSB0",
                             "rfc2217://::1:2217",        // an IPv6 address needs its brackets
                             "rfc2217://[::1]2217",       // and the colon after them
                             "rfc2217://[::1:2217",       // and both of them
                             "rfc2217://[bench-pi]:2217", // brackets hold an address only
                             "rfc2217://a,b:2217",        // gensio would split at the comma
                             "rfc2217://a b:2217",
                             "rfc2217://user@host:2217"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseNetworkTarget(text).has_value());
    }
}

TEST(NetworkTarget, WritesHostAndPortBackAsTheyAreRead) {
    for (const char* text : {"bench-pi:2217", "192.168.1.20:4001", "[::1]:2217"}) {
        const auto target = ParseNetworkTarget(std::string("rfc2217://") + text);
        ASSERT_TRUE(target.has_value()) << text;
        EXPECT_EQ(HostAndPort(*target), text);
    }
    EXPECT_EQ(GensioConnectString({"::1", 2217}), "telnet(rfc2217),tcp(nodelay),::1,2217");
}

} // namespace
