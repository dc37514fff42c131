#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

// A room of simulated modules, joined as infrared light joins modules in one
// room. Its members are datagram sockets (AF_UNIX) in a private folder,
// LumaretRuntimePath()/rooms/NAME, one socket file per member; a code put
// into the room is one datagram holding its bytes, sent to every member
// there. Light is not waited for: a member whose queue is full misses it.

// The longest code the room carries; a longer capture than a slot holds
// still travels, so that a learning module can refuse it.
inline constexpr size_t MAX_ROOM_CODE_BYTES = 4096;
// The longest name of a room.
inline constexpr size_t MAX_ROOM_NAME = 40;

// Why name cannot name a room, empty when it can: 1 to MAX_ROOM_NAME
// letters, digits, '_', '.' and '-', not starting with '.'.
std::string RoomNameFault(const std::string& name);
// The folder of the room: LumaretRuntimePath()/rooms/name.
std::string RoomFolderPath(const std::string& name);

// Membership of one room: a socket of its own in the room's folder, from
// Join until Leave or the end of the object.
class CRoom {
public:
    CRoom() = default;
    ~CRoom() { Leave(); }
    CRoom(const CRoom&) = delete;
    CRoom& operator=(const CRoom&) = delete;

    // Leaves the room it is in, then makes the room's folder when missing
    // (mode 0700; each level the user's own and writable by nobody else) and
    // binds a socket there (<pid>-<n>.sock). False with the reason in
    // *reason when given, and then in no room.
    bool Join(const std::string& name, std::string* reason = nullptr);
    // Closes the socket and removes its file.
    void Leave();
    bool Joined() const { return m_socket >= 0; }
    const std::string& Name() const { return m_name; }
    // The member's socket file, empty when in no room.
    std::string SocketPath() const;
    // The socket to poll for codes coming in (non-blocking), -1 when in no room.
    int Fd() const { return m_socket; }

    // Sends code to every other member; the number of members that got it.
    // Socket files whose owner is gone are removed on the way.
    size_t Emit(const std::vector<uint8_t>& code);
    // The next code that came in, nullopt when none is waiting. Empty or
    // overlong datagrams are passed over.
    std::optional<std::vector<uint8_t>> Receive();

private:
    int m_socket = -1;
    int m_folder = -1; // the room's folder, opened when joined
    std::string m_name;
    std::string m_socketName;
};

// Puts code into the room from outside it, as a remote control does: the
// number of members that got it. 0 with the reason in *reason when given: a
// bad name, a code that is empty or longer than MAX_ROOM_CODE_BYTES, a room
// folder that is not safe, or "nobody is in room NAME" when the folder is
// missing or holds no live member. Stale socket files are removed.
size_t EmitIntoRoom(const std::string& name, const std::vector<uint8_t>& code,
                    std::string* reason = nullptr);

// A code as a learning module captures it from the room: with the chance
// noise (0 to 1), one byte of it, picked at random, changed to another value.
std::vector<uint8_t> CapturedCode(std::vector<uint8_t> code, double noise, std::mt19937& random);
