// The port directory and the level above it: both are the program's own and
// neither may be another user's, open to others or reached through a link.

#include "DeviceMap.h"
#include "PortDirectory.h"
#include "PublishedPty.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct stat StatOf(mode_t mode, uid_t uid) {
    struct stat st {};
    st.st_mode = mode;
    st.st_uid = uid;
    return st;
}

TEST(PortDirectoryFault, JudgesKindOwnerAndWhoMayWrite) {
    const uid_t me = 1000;
    struct Case {
        const char* name;
        struct stat st;
        const char* fault; // a part of the reason, or nullptr when safe
    };
    const Case cases[] = {
        {"private", StatOf(S_IFDIR | 0700, me), nullptr},
        {"readable by all", StatOf(S_IFDIR | 0755, me), nullptr},
        {"another user's", StatOf(S_IFDIR | 0700, 1001), "belongs to uid 1001"},
        {"root's, for a user", StatOf(S_IFDIR | 0700, 0), "belongs to uid 0"},
        {"group may write", StatOf(S_IFDIR | 0770, me), "(mode 0770)"},
        {"others may write", StatOf(S_IFDIR | 0703, me), "(mode 0703)"},
        {"sticky and open to all", StatOf(S_IFDIR | 01777, me), "(mode 1777)"},
        {"a link", StatOf(S_IFLNK | 0777, me), "symbolic link"},
        {"a file", StatOf(S_IFREG | 0600, me), "not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fault = DirectoryFault(c.st, me);
        if (c.fault == nullptr) {
            EXPECT_EQ(fault, "");
        } else {
            EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
        }
    }
}

// A root of the test's own stands in for /tmp or the runtime directory.
class PortDirectoryLevels : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/port-dir-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_root = tmpl;
        m_parent = m_root + "/lumaret-" + std::to_string(geteuid());
        m_ports = m_parent + "/ports";
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        fs::permissions(m_root, fs::perms::owner_all, ignored);
        fs::remove_all(m_root, ignored);
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }

    std::string m_root;
    std::string m_parent;
    std::string m_ports;
};

TEST_F(PortDirectoryLevels, BothLevelsAreMadePrivateAndThenTrusted) {
    std::string reason;
    ASSERT_TRUE(EnsurePortDirectory(m_ports, &reason)) << reason;
    EXPECT_EQ(ModeOf(m_parent), S_IFDIR | 0700);
    EXPECT_EQ(ModeOf(m_ports), S_IFDIR | 0700);
    // Readable by others is no threat: only writing is.
    ASSERT_EQ(chmod(m_parent.c_str(), 0755), 0);
    EXPECT_TRUE(EnsurePortDirectory(m_ports, &reason)) << reason;
}

TEST_F(PortDirectoryLevels, AnUnsafeLevelIsRefusedByName) {
    const std::string elsewhere = m_root + "/elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    struct Case {
        const char* name;
        std::function<bool()> make; // builds the bad level; false when it cannot be built here
        const std::string& level;
        const char* fault;
    };
    const Case cases[] = {
        {"parent is a link", [&] { return symlink(elsewhere.c_str(), m_parent.c_str()) == 0; },
         m_parent, "symbolic link"},
        {"parent open to all",
         [&] { return mkdir(m_parent.c_str(), 0700) == 0 && chmod(m_parent.c_str(), 0777) == 0; },
         m_parent, "(mode 0777)"},
        {"parent sticky and open to all",
         [&] { return mkdir(m_parent.c_str(), 0700) == 0 && chmod(m_parent.c_str(), 01777) == 0; },
         m_parent, "(mode 1777)"},
        {"parent is a file", [&] { return close(creat(m_parent.c_str(), 0600)) == 0; }, m_parent,
         "not a directory"},
        {"ports is a link",
         [&] {
             return mkdir(m_parent.c_str(), 0700) == 0 &&
                    symlink(elsewhere.c_str(), m_ports.c_str()) == 0;
         },
         m_ports, "symbolic link"},
        {"ports writable by the group",
         [&] {
             return mkdir(m_parent.c_str(), 0700) == 0 && mkdir(m_ports.c_str(), 0700) == 0 &&
                    chmod(m_ports.c_str(), 0770) == 0;
         },
         m_ports, "(mode 0770)"},
        // Another user's folder can only be made by root; elsewhere the fault's own test covers it.
        {"parent made first by another user",
         [&] {
             return geteuid() == 0 && mkdir(m_parent.c_str(), 0700) == 0 &&
                    chown(m_parent.c_str(), 65534, 65534) == 0;
         },
         m_parent, "belongs to uid 65534"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove_all(m_parent, ignored);
        if (!c.make()) {
            ASSERT_NE(geteuid(), 0u) << "only the other user's folder needs root";
            continue;
        }
        std::string reason;
        EXPECT_FALSE(EnsurePortDirectory(m_ports, &reason));
        EXPECT_EQ(reason.rfind(c.level + ": ", 0), 0u) << reason;
        EXPECT_NE(reason.find(c.fault), std::string::npos) << reason;
        EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing made through a link";
    }
}

TEST_F(PortDirectoryLevels, PublishedPortsAreDroppedOnceTheParentIsOpenToOthers) {
    setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
    const std::string parent = m_root + "/lumaret";
    ASSERT_EQ(PortDirectoryPath(), parent + "/ports");
    PublishedPty pty;
    ASSERT_TRUE(pty.Open("COM7"));
    EXPECT_EQ(ResolveComDevice(7), pty.LinkPath());

    ASSERT_EQ(chmod(parent.c_str(), 0777), 0);
    EXPECT_TRUE(ResolveComDevice(7).empty());
    PortPublication second;
    std::string reason;
    EXPECT_FALSE(second.Publish("COM8", pty.SlaveName(), &reason));
    EXPECT_EQ(reason.rfind(parent + ": ", 0), 0u) << reason;
}

} // namespace
