#include "DemoRemote.h"

#include "LearnRemoteJob.h"
#include "Room.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const char* const ROOM = "lumaret-demo";

std::vector<uint8_t> RemoteCode(uint16_t slot) {
    std::vector<uint8_t> code(32);
    for (size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<uint8_t>(0x40 + slot * 3 + i);
    }
    return code;
}

// The remote's holder: presses the key the walk asks for a moment after the
// prompt, as a person would.
class CDemoRemote : public ILearnRemoteObserver {
public:
    ~CDemoRemote() override {
        for (std::thread& press : m_presses) {
            press.join();
        }
    }
    void OnPrompt(const RemoteKey& key, int, uint32_t) override {
        std::printf("  %s (%s): press the key on the remote\n", key.name.c_str(),
                    KeyPlace(key).c_str());
        std::fflush(stdout);
        m_presses.emplace_back([slot = key.slot] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EmitIntoRoom(ROOM, RemoteCode(slot));
        });
    }
    void OnKey(const RemoteKey& key, const KeyLearnResult& result) override {
        std::printf("  %s (%s): %s, %zu bytes\n", key.name.c_str(), KeyPlace(key).c_str(),
                    KeyOutcomeText(result.outcome), result.code.size());
        std::fflush(stdout);
    }

private:
    std::vector<std::thread> m_presses;
};

} // namespace

bool LearnDemoRemote(CSerialLink& link, SimulatedModule& module, const std::string& folder) {
    std::string reason;
    if (!module.JoinRoom(ROOM, &reason)) {
        std::printf("Learn a remote: cannot join a room: %s\n", reason.c_str());
        return false;
    }
    const RemoteMap map =
        ParseRemoteMap({"# the demo's remote", "1/20 POWER", "1/21 VOL+", "1/22 VOL-"});
    std::printf("Learn a remote of %zu keys, pressed in a simulated room:\n", map.keys.size());
    const std::atomic<int32_t> running{1};
    const JobPort port{link, FixedTiming(), running};
    CLearnSession session(folder + "/demo.map.session");
    LearnRemoteControl control;
    LearnRemoteResult result;
    {
        CDemoRemote remote;
        result = LearnRemote(port, map, session, LearnRemoteOptions{}, control, remote);
    }
    module.LeaveRoom();
    bool asPressed = result.outcome == JobOutcome::Complete && result.Missing() == 0;
    for (const RemoteKey& key : map.keys) {
        asPressed = asPressed && session.Holds(key.slot) &&
                    session.Code(key.slot) == RemoteCode(key.slot) &&
                    module.Slot(key.slot) == RemoteCode(key.slot);
    }
    std::printf("Learn a remote: %zu of %zu keys learned into %s%s\n",
                map.keys.size() - result.Missing(), map.keys.size(), session.Path().c_str(),
                asPressed ? "" : "  <-- not as expected");
    return asPressed;
}
