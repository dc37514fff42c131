// Simulated modules in one room, driven by frames on their pseudo-terminals:
// a Send on one is learned by those learning in the same room, as light
// would be; codes pressed in from outside; the room's folder and sockets.

#include "CommandFrame.h"
#include "ExpectedBytes.h"
#include "RawLine.h"
#include "Reply.h"
#include "Room.h"
#include "RuntimeDir.h"
#include "SimulatedModule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t WINDOW_MS = 400; // a learn's window in these tests
constexpr auto WINDOW = std::chrono::milliseconds(WINDOW_MS);

// How many bytes differ between two codes of one length.
size_t Differing(const Bytes& a, const Bytes& b) {
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        n += a[i] != b[i];
    }
    return n;
}

// A module serving on its pseudo-terminal, all slots empty, with a raw line to it.
class Member {
public:
    explicit Member(const std::string& room, double noise = 0.0) {
        SimFaults faults;
        faults.learnWindowMs = WINDOW_MS;
        faults.captureNoise = noise;
        module.SetFaults(faults);
        module.ClearSlots();
        std::string reason;
        joined = module.Start() && module.JoinRoom(room, &reason);
        EXPECT_TRUE(joined) << reason;
        line = std::make_unique<RawLine>(module.SlavePath());
    }

    // Sends a learn frame and waits until the module has taken it.
    bool Learn(uint16_t slot) {
        module.ClearReceivedFrames();
        return line->Write(FrameBytes(BuildLearnFrame(slot)), 1s) && module.WaitForFrames(1, 1s);
    }
    Bytes Answer(std::chrono::milliseconds timeout) {
        return line->Read(STATUS_REPLY_SIZE, timeout);
    }

    SimulatedModule module;
    std::unique_ptr<RawLine> line;
    bool joined = false;
};

class SimulatedRoom : public ::testing::Test {
protected:
    PrivateRuntimeDir m_runtime; // before the modules: the room's folder is in it
};

TEST_F(SimulatedRoom, SendReachesOnlyModulesLearningInTheSameRoom) {
    Member sender("kitchen");
    Member learner("kitchen");
    Member idle("kitchen");
    Member elsewhere("cellar");
    const Bytes code = {0x10, 0x20, 0x30, 0x40, 0x50};
    ASSERT_TRUE(sender.module.SetSlot(5, code));

    ASSERT_TRUE(learner.Learn(42));
    ASSERT_TRUE(elsewhere.Learn(42));
    // Another frame while it learns is answered and leaves the learn waiting.
    EXPECT_EQ(
        learner.line->Exchange(FrameBytes(BuildGetVersionFrame()), VERSION_REPLY_SIZE, 1s).size(),
        VERSION_REPLY_SIZE);

    EXPECT_EQ(sender.line->Exchange(FrameBytes(BuildSendFrame(5, 1)), STATUS_REPLY_SIZE, 1s),
              ExpectedStatusReply(0));
    EXPECT_EQ(learner.Answer(1s), ExpectedStatusReply(0));
    EXPECT_EQ(learner.module.Slot(42), code);

    // The code came while the idle module did not learn: it is gone, not
    // kept for a learn that starts later. A Send of an empty slot puts nothing
    // into the room.
    ASSERT_TRUE(idle.Learn(42));
    ASSERT_TRUE(learner.Learn(43));
    EXPECT_EQ(sender.line->Exchange(FrameBytes(BuildSendFrame(6, 1)), STATUS_REPLY_SIZE, 1s),
              ExpectedStatusReply(SimulatedModule::STATUS_EMPTY));
    EXPECT_TRUE(learner.Answer(WINDOW + 150ms).empty());
    EXPECT_TRUE(idle.Answer(50ms).empty());
    EXPECT_TRUE(elsewhere.Answer(50ms).empty()) << "another room sees nothing";
    EXPECT_TRUE(idle.module.Slot(42).empty());
    EXPECT_TRUE(elsewhere.module.Slot(42).empty());
    EXPECT_TRUE(learner.module.Slot(43).empty());
}

TEST_F(SimulatedRoom, LearnTakesACodeWithinItsWindowForItsLatestSlotAndNoneAfter) {
    Member learner("hall");
    const Bytes code = {0xAB, 0xCD};

    // A second learn frame takes the first one's place.
    ASSERT_TRUE(learner.Learn(7));
    ASSERT_TRUE(learner.Learn(8));
    std::this_thread::sleep_for(WINDOW / 4);
    EXPECT_TRUE(learner.Answer(0ms).empty());
    ASSERT_EQ(EmitIntoRoom("hall", code), 1u);
    EXPECT_EQ(learner.Answer(1s), ExpectedStatusReply(0));
    EXPECT_EQ(learner.module.Slot(8), code);
    EXPECT_TRUE(learner.module.Slot(7).empty());
    EXPECT_TRUE(learner.Answer(50ms).empty()) << "one answer";

    // Once the window has passed, the learn is over without an answer.
    ASSERT_TRUE(learner.Learn(9));
    EXPECT_TRUE(learner.Answer(WINDOW + 100ms).empty());
    ASSERT_EQ(EmitIntoRoom("hall", code), 1u);
    EXPECT_TRUE(learner.Answer(100ms).empty());
    EXPECT_TRUE(learner.module.Slot(9).empty());
}

TEST_F(SimulatedRoom, CaptureStoresTheFirstCodeRefusesOverlongOnesAndTakesTheNoise) {
    Member exact("lab");
    Member noisy("lab", 1.0);
    const Bytes first = CodePattern(16, 3);
    const Bytes second = CodePattern(16, 9);

    ASSERT_TRUE(exact.Learn(1));
    ASSERT_TRUE(noisy.Learn(1));
    ASSERT_EQ(EmitIntoRoom("lab", first), 2u);
    ASSERT_EQ(EmitIntoRoom("lab", second), 2u);
    EXPECT_EQ(exact.Answer(1s), ExpectedStatusReply(0));
    EXPECT_EQ(noisy.Answer(1s), ExpectedStatusReply(0));
    EXPECT_EQ(exact.module.Slot(1), first);
    ASSERT_EQ(noisy.module.Slot(1).size(), first.size());
    EXPECT_EQ(Differing(noisy.module.Slot(1), first), 1u);
    EXPECT_TRUE(exact.Answer(50ms).empty()) << "the second code finds no learn";

    // The longest code a slot holds is stored; one byte more fails to save.
    const Bytes longest = CodePattern(SimulatedModule::MAX_SLOT_CODE_BYTES, 1);
    ASSERT_TRUE(exact.Learn(2));
    ASSERT_EQ(EmitIntoRoom("lab", longest), 2u);
    EXPECT_EQ(exact.Answer(1s), ExpectedStatusReply(0));
    EXPECT_EQ(exact.module.Slot(2), longest);
    ASSERT_TRUE(exact.Learn(2));
    ASSERT_EQ(EmitIntoRoom("lab", CodePattern(SimulatedModule::MAX_SLOT_CODE_BYTES + 1, 2)), 2u);
    EXPECT_EQ(exact.Answer(1s), ExpectedStatusReply(SimulatedModule::STATUS_SAVE_FAIL));
    EXPECT_EQ(exact.module.Slot(2), longest);
}

// A socket file in the folder whose owner is gone, as a killed member leaves it.
bool LeaveStaleSocket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        return false;
    }
    text.copy(address.sun_path, text.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

size_t SocketsIn(const fs::path& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        n += entry.is_socket();
    }
    return n;
}

TEST_F(SimulatedRoom, MembersKeepOwnSocketsInAPrivateFolderAndStaleOnesAreRemoved) {
    const fs::path folder = RoomFolderPath("den");
    ASSERT_EQ(folder, m_runtime.Path() / "lumaret" / "rooms" / "den");
    std::string reason;
    EXPECT_EQ(EmitIntoRoom("den", {0x01}, &reason), 0u);
    EXPECT_EQ(reason, "nobody is in room den");

    SimulatedModule module; // joins before it serves
    ASSERT_TRUE(module.JoinRoom("den", &reason)) << reason;
    EXPECT_EQ(module.RoomName(), "den");
    for (const fs::path& level :
         {folder.parent_path().parent_path(), folder.parent_path(), folder}) {
        struct stat st {};
        ASSERT_EQ(lstat(level.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << level;
    }
    CRoom listener;
    ASSERT_TRUE(listener.Join("den", &reason)) << reason;
    EXPECT_EQ(fs::path(listener.SocketPath()).parent_path(), folder);
    const fs::path stale = folder / "1-1.sock";
    ASSERT_TRUE(LeaveStaleSocket(stale));
    ASSERT_EQ(SocketsIn(folder), 3u);

    EXPECT_EQ(EmitIntoRoom("den", {0x01, 0x02}), 2u);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(listener.Receive(), Bytes({0x01, 0x02}));
    EXPECT_FALSE(listener.Receive().has_value());

    // Leaving while serving, joining again, and leaving by stopping.
    ASSERT_TRUE(module.Start());
    module.LeaveRoom();
    EXPECT_TRUE(module.RoomName().empty());
    EXPECT_EQ(SocketsIn(folder), 1u);
    ASSERT_TRUE(module.JoinRoom("den"));
    EXPECT_EQ(SocketsIn(folder), 2u);
    module.Stop();
    EXPECT_TRUE(module.RoomName().empty());
    EXPECT_EQ(SocketsIn(folder), 1u);
    listener.Leave();
    EXPECT_EQ(SocketsIn(folder), 0u);
    EXPECT_EQ(EmitIntoRoom("den", {0x01}, &reason), 0u);
    EXPECT_EQ(reason, "nobody is in room den");
}

TEST_F(SimulatedRoom, BadNamesAndUnsafeFoldersAreRefused) {
    const std::string longest(MAX_ROOM_NAME, 'r');
    for (const std::string& name : {std::string("a"), std::string("Living_room-2.east"), longest}) {
        EXPECT_EQ(RoomNameFault(name), "") << name;
    }
    for (const std::string& name :
         {std::string(), longest + "r", std::string(".hidden"), std::string(".."),
          std::string("a/b"), std::string("two words"), std::string("caf\xC3\xA9")}) {
        SCOPED_TRACE(name);
        EXPECT_NE(RoomNameFault(name).find("is not a room name"), std::string::npos);
        SimulatedModule module;
        std::string reason;
        EXPECT_FALSE(module.JoinRoom(name, &reason));
        EXPECT_EQ(reason, RoomNameFault(name));
        EXPECT_TRUE(module.RoomName().empty());
        EXPECT_EQ(EmitIntoRoom(name, {0x01}), 0u);
    }

    // A folder of rooms that others may write to: neither joined nor pressed into.
    const fs::path rooms = m_runtime.Path() / "lumaret" / "rooms";
    fs::create_directories(rooms / "den");
    ASSERT_EQ(chmod(rooms.c_str(), 0777), 0);
    SimulatedModule module;
    std::string reason;
    EXPECT_FALSE(module.JoinRoom("den", &reason));
    EXPECT_EQ(reason.rfind(rooms.string() + ": group or others may write", 0), 0u) << reason;
    EXPECT_EQ(EmitIntoRoom("den", {0x01}, &reason), 0u);
    EXPECT_EQ(reason.rfind(rooms.string() + ": ", 0), 0u) << reason;
}

} // namespace
