#include "Room.h"

#include "PrivateFolder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int ROOM_FOLDER_LEVELS = 3; // lumaret, rooms, the room
constexpr const char* SOCKET_SUFFIX = ".sock";

void SetReason(std::string* reason, std::string text) {
    if (reason != nullptr) {
        *reason = std::move(text);
    }
}

bool IsMemberName(const std::string& name) {
    const size_t suffix = std::strlen(SOCKET_SUFFIX);
    return name.size() > suffix && name.compare(name.size() - suffix, suffix, SOCKET_SUFFIX) == 0;
}

// The address of the socket file name in the open folder, reached through the
// folder's descriptor: short whatever the folder's path, and never through a
// path swapped since the folder was judged.
struct SocketAddress {
    sockaddr_un address{};
    socklen_t length = 0;
};
std::optional<SocketAddress> AddressIn(int folder, const std::string& name) {
    SocketAddress a;
    a.address.sun_family = AF_UNIX;
    const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
    if (path.size() >= sizeof a.address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(a.address.sun_path, path.c_str(), path.size() + 1);
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return a;
}

// Sends code from sender to every member socket in the open folder but skip;
// the number that took it. A socket whose owner is gone refuses it and its
// file is removed; a member whose queue is full misses it, as light is missed.
size_t EmitInFolder(int folder, int sender, const std::vector<uint8_t>& code,
                    const std::string& skip) {
    const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            close(listing);
        }
        return 0;
    }
    size_t reached = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        struct stat st {};
        if (name == skip || !IsMemberName(name) ||
            fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(st.st_mode)) {
            continue;
        }
        const std::optional<SocketAddress> to = AddressIn(folder, name);
        if (!to) {
            continue;
        }
        ssize_t n;
        do {
            n = sendto(sender, code.data(), code.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&to->address), to->length);
        } while (n < 0 && errno == EINTR);
        if (n >= 0) {
            ++reached;
        } else if (errno == ECONNREFUSED || errno == ENOENT) {
            unlinkat(folder, name.c_str(), 0);
        }
    }
    closedir(dir);
    return reached;
}

} // namespace

std::string RoomNameFault(const std::string& name) {
    const bool fits = !name.empty() && name.size() <= MAX_ROOM_NAME && name[0] != '.' &&
                      name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789_.-") == std::string::npos;
    if (fits) {
        return {};
    }
    return "'" + name + "' is not a room name: it takes 1 to " + std::to_string(MAX_ROOM_NAME) +
           " letters, digits, '_', '.' and '-', and does not start with '.'";
}

std::string RoomFolderPath(const std::string& name) {
    return LumaretRuntimePath() + "/rooms/" + name;
}

bool CRoom::Join(const std::string& name, std::string* reason) {
    Leave();
    if (std::string fault = RoomNameFault(name); !fault.empty()) {
        SetReason(reason, std::move(fault));
        return false;
    }
    const std::string folderPath = RoomFolderPath(name);
    m_folder = OpenPrivateFolder(folderPath, ROOM_FOLDER_LEVELS, true, "rooms", reason);
    if (m_folder < 0) {
        return false;
    }
    static std::atomic<unsigned> joined{0};
    m_socketName = std::to_string(getpid()) + "-" + std::to_string(++joined) + SOCKET_SUFFIX;
    // A file of that name was left by an earlier process with this id: stale.
    unlinkat(m_folder, m_socketName.c_str(), 0);
    const std::optional<SocketAddress> self = AddressIn(m_folder, m_socketName);
    m_socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (!self || m_socket < 0 ||
        bind(m_socket, reinterpret_cast<const sockaddr*>(&self->address), self->length) != 0) {
        SetReason(reason, "cannot make a socket in " + folderPath + ": " + std::strerror(errno));
        if (m_socket >= 0) {
            close(m_socket);
            m_socket = -1;
        }
        close(m_folder);
        m_folder = -1;
        return false;
    }
    m_name = name;
    return true;
}

void CRoom::Leave() {
    if (m_socket < 0) {
        return;
    }
    close(m_socket);
    unlinkat(m_folder, m_socketName.c_str(), 0);
    close(m_folder);
    m_socket = -1;
    m_folder = -1;
    m_name.clear();
    m_socketName.clear();
}

std::string CRoom::SocketPath() const {
    return Joined() ? RoomFolderPath(m_name) + "/" + m_socketName : std::string();
}

size_t CRoom::Emit(const std::vector<uint8_t>& code) {
    if (!Joined() || code.empty() || code.size() > MAX_ROOM_CODE_BYTES) {
        return 0;
    }
    return EmitInFolder(m_folder, m_socket, code, m_socketName);
}

std::optional<std::vector<uint8_t>> CRoom::Receive() {
    if (!Joined()) {
        return std::nullopt;
    }
    std::vector<uint8_t> code(MAX_ROOM_CODE_BYTES);
    for (;;) {
        // MSG_TRUNC: the datagram's whole length, to tell an overlong one.
        const ssize_t n = recv(m_socket, code.data(), code.size(), MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n > 0 && static_cast<size_t>(n) <= code.size()) {
            code.resize(static_cast<size_t>(n));
            return code;
        }
    }
}

size_t EmitIntoRoom(const std::string& name, const std::vector<uint8_t>& code,
                    std::string* reason) {
    if (std::string fault = RoomNameFault(name); !fault.empty()) {
        SetReason(reason, std::move(fault));
        return 0;
    }
    if (code.empty() || code.size() > MAX_ROOM_CODE_BYTES) {
        SetReason(reason, "a code for the room takes 1 to " + std::to_string(MAX_ROOM_CODE_BYTES) +
                              " bytes, not " + std::to_string(code.size()));
        return 0;
    }
    const std::string folderPath = RoomFolderPath(name);
    const std::string nobody = "nobody is in room " + name;
    struct stat st {};
    if (lstat(folderPath.c_str(), &st) != 0 && errno == ENOENT) {
        SetReason(reason, nobody);
        return 0;
    }
    const int folder = OpenPrivateFolder(folderPath, ROOM_FOLDER_LEVELS, false, "rooms", reason);
    if (folder < 0) {
        return 0;
    }
    const int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sender < 0) {
        SetReason(reason, std::string("cannot make a socket: ") + std::strerror(errno));
        close(folder);
        return 0;
    }
    const size_t reached = EmitInFolder(folder, sender, code, "");
    close(sender);
    close(folder);
    if (reached == 0) {
        SetReason(reason, nobody);
    }
    return reached;
}

std::vector<uint8_t> CapturedCode(std::vector<uint8_t> code, double noise, std::mt19937& random) {
    if (code.empty() || !std::bernoulli_distribution(std::clamp(noise, 0.0, 1.0))(random)) {
        return code;
    }
    const size_t at = std::uniform_int_distribution<size_t>(0, code.size() - 1)(random);
    // Any other value: a change of 1 to 255.
    code[at] ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(random));
    return code;
}
