#include "PortNamesFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Faults(const PortNames& names) {
    std::vector<std::string> texts;
    for (const PortNamesFault& fault : names.faults) {
        texts.push_back(PortNamesFaultText(fault));
    }
    return texts;
}

TEST(PortNamesFile, NamesTakenInOrderAndEveryRefusalWithItsLine) {
    const std::vector<DeviceMapEntry> local = {{"/dev/ttyUSB0", "COM33"},
                                               {"/run/user/1/lumaret/ports/COM9", "COM9"}};
    const PortNames names = ParsePortNames(
        {
            "# the bench in room 2",                                  // 1
            "COM40 = /dev/serial/by-id/usb-FTDI_A10K1234-if00-port0", // 2
            "  com41=rfc2217://127.0.0.1:7001   # rack",              // 3
            "COM42 = rfc2217://[::1]:7002",                           // 4
            "COM40 = /dev/ttyUSB3",                                   // 5: named twice
            "COM33 = /dev/ttyUSB9",                                   // 6: a local adapter's
            "COM9 = /dev/ttyUSB8",                                    // 7: a published module's
            "COM43 /dev/ttyUSB7",                                     // 8: no '='
            "PORT4 = /dev/ttyUSB6",                                   // 9
            "COM256 = /dev/ttyUSB5",                                  // 10
            "COM44 =",                                                // 11
            "COM45 = ttyUSB4",                                        // 12
            "COM46 = rfc2217://host",                                 // 13: no port
            "COM47 = rfc2217://host:70000",                           // 14
            "COM48 = rfc2217://127.0.0.1,47101:47101",                // 15: gensio's comma
            "COM49 = rfc2217:/127.0.0.1:7003",                        // 16
            "COM101 = rfc2217://127.0.0.1:7001",                      // 17: not listable
            "",
        },
        local);
    ASSERT_EQ(names.names.size(), 3U);
    EXPECT_EQ(names.names[0].port, 40U);
    EXPECT_EQ(names.names[0].target, "/dev/serial/by-id/usb-FTDI_A10K1234-if00-port0");
    EXPECT_EQ(names.names[1].port, 41U);
    EXPECT_EQ(names.names[1].target, "rfc2217://127.0.0.1:7001");
    EXPECT_TRUE(IsNetworkTarget(names.names[1].target));
    EXPECT_FALSE(IsNetworkTarget(names.names[0].target));
    EXPECT_EQ(names.names[2].line, 4U);
    const std::vector<std::string> expected = {
        "ports.conf line 5: COM40 is named on line 2 already",
        "ports.conf line 6: COM33 is taken by a port of this machine: /dev/ttyUSB0",
        "ports.conf line 7: COM9 is taken by a port of this machine: "
        "/run/user/1/lumaret/ports/COM9",
        "ports.conf line 8: expected COMn = TARGET",
        "ports.conf line 9: \"PORT4\" is not a COM name (COM1 to COM255)",
        "ports.conf line 10: \"COM256\" is not a COM name (COM1 to COM255)",
        "ports.conf line 11: no target after '='",
        "ports.conf line 12: \"ttyUSB4\" is neither a device path (/dev/...) nor "
        "rfc2217://HOST:PORT",
        "ports.conf line 13: \"rfc2217://host\" is not rfc2217://HOST:PORT",
        "ports.conf line 14: \"rfc2217://host:70000\" is not rfc2217://HOST:PORT",
        "ports.conf line 15: \"rfc2217://127.0.0.1,47101:47101\" is not rfc2217://HOST:PORT",
        "ports.conf line 16: \"rfc2217:/127.0.0.1:7003\" is not rfc2217://HOST:PORT",
        "ports.conf line 17: \"COM101\" is longer than the port list can show (COM1 to COM99)",
    };
    EXPECT_EQ(Faults(names), expected);
}

} // namespace
