#include "SimulatedModule.h"

#include "CommandFrame.h"
#include "Crc16.h"
#include "DatabaseFormat.h"
#include "PortDirectory.h"
#include "Reply.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// 9600 baud, 8N1: ten bit times per byte.
constexpr std::chrono::nanoseconds BYTE_TIME{1'000'000'000LL * 10 / 9600};
constexpr uint32_t MAX_FRAME_BYTES = FRAME_CAPACITY;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    uint8_t crc[2];
    Crc16(bytes.data(), static_cast<uint32_t>(bytes.size()), crc);
    bytes.push_back(crc[0]);
    bytes.push_back(crc[1]);
    return bytes;
}

// A code a learn stores: varies with the slot and with each learn.
std::vector<uint8_t> GeneratedCode(uint16_t index, uint32_t learnCount) {
    std::vector<uint8_t> code;
    uint32_t state = 0x9E3779B9u ^ (uint32_t{index} << 8) ^ learnCount;
    const size_t size = 16 + (index + learnCount) % 17;
    code.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        code.push_back(static_cast<uint8_t>(state >> 24));
    }
    return code;
}

std::chrono::milliseconds Ms(uint32_t ms) {
    return std::chrono::milliseconds(ms);
}

} // namespace

struct SimulatedModule::Impl {
    // Everything below the mutex is shared with the serving thread.
    mutable std::mutex mutex;
    mutable std::condition_variable framesChanged;
    SimFaults faults;
    uint32_t writesToRefuse = 0;
    size_t writesAnswered = 0; // write frames seen after the refused ones
    std::array<uint8_t, 6> version{'1', '0', '2', '0', '0', '3'};
    std::map<uint16_t, std::vector<uint8_t>> slots;
    std::vector<std::vector<uint8_t>> frames;
    FrameObserver observer;
    uint32_t learnCount = 0;

    // Owned by the controlling thread; the serving thread only reads the fds.
    int masterFd = -1;
    int slaveFd = -1;
    int stopFd = -1;
    std::string slavePath;
    PortPublication publication;
    std::thread server;

    // Serving-thread state.
    struct PendingLearn {
        Clock::time_point due;
        uint16_t index = 0;
    };
    std::vector<uint8_t> incoming;
    Clock::time_point lastByte;
    std::optional<PendingLearn> learn;
    std::deque<std::pair<Clock::time_point, uint8_t>> output;
    Clock::time_point writeRetry;

    void Serve();
    void ReadIncoming();
    void CutFrames(bool silenceReached);
    void HandleFrame(const std::vector<uint8_t>& frame);
    void Answer(const std::vector<uint8_t>& reply);
    void FlushOutput(Clock::time_point now);
    void AnswerLearn();
};

namespace {

// Length of the frame starting the buffer, when its prefix and length byte tell it.
std::optional<size_t> ExpectedFrameLength(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 7 || !std::equal(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), bytes.begin())) {
        return std::nullopt;
    }
    const uint8_t lengthByte = bytes[6];
    if (lengthByte == 0xFF || lengthByte == 0) {
        return std::nullopt; // write frames end by silence
    }
    return size_t{lengthByte} + 9;
}

bool IsValidFrame(const std::vector<uint8_t>& f) {
    if (f.size() < 10 || !std::equal(FRAME_PREFIX.begin(), FRAME_PREFIX.end(), f.begin())) {
        return false;
    }
    const uint16_t crc = Crc16Value(f.data(), static_cast<uint32_t>(f.size() - 2));
    if (f[f.size() - 2] != (crc >> 8) || f[f.size() - 1] != (crc & 0xFF)) {
        return false;
    }
    const uint8_t lengthByte = f[6];
    if (f[7] == CMD_WRITE) {
        return lengthByte == 0xFF && f.size() >= 12;
    }
    return size_t{lengthByte} + 9 == f.size();
}

uint16_t IndexAt(const std::vector<uint8_t>& f, size_t offset) {
    return static_cast<uint16_t>(f[offset] | (f[offset + 1] << 8));
}

} // namespace

void SimulatedModule::Impl::Serve() {
    bool masterUsable = true;
    for (;;) {
        const auto now = Clock::now();
        std::optional<Clock::time_point> next;
        auto consider = [&next](Clock::time_point t) {
            if (!next || t < *next) {
                next = t;
            }
        };
        if (!incoming.empty()) {
            consider(lastByte + Ms(FRAME_SILENCE_MS));
        }
        if (learn) {
            consider(learn->due);
        }
        if (!output.empty()) {
            consider(std::max(output.front().first, writeRetry));
        }
        if (!masterUsable) {
            consider(now + Ms(10));
        }
        int timeoutMs = -1;
        if (next) {
            // Round up, so a wait never ends just before its deadline and spins.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
            timeoutMs = static_cast<int>(std::max<int64_t>(0, left.count()));
        }

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {masterFd, POLLIN, 0}};
        const int rc = poll(fds, masterUsable ? 2 : 1, timeoutMs);
        if (rc < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            return;
        }
        masterUsable = true;
        if (rc > 0 && fds[1].revents != 0) {
            const size_t before = incoming.size();
            ReadIncoming();
            // A hung-up master polls readable but reads nothing: back off instead of spinning.
            if (incoming.size() == before && (fds[1].revents & (POLLHUP | POLLERR))) {
                masterUsable = false;
            }
        }

        const auto after = Clock::now();
        CutFrames(!incoming.empty() && after - lastByte >= Ms(FRAME_SILENCE_MS));
        if (learn && after >= learn->due) {
            AnswerLearn();
        }
        FlushOutput(after);
    }
}

void SimulatedModule::Impl::ReadIncoming() {
    uint8_t buffer[1024];
    for (;;) {
        const ssize_t n = read(masterFd, buffer, sizeof buffer);
        if (n > 0) {
            incoming.insert(incoming.end(), buffer, buffer + n);
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return; // EAGAIN, EIO (no slave user) or 0
    }
}

void SimulatedModule::Impl::CutFrames(bool silenceReached) {
    for (;;) {
        if (incoming.empty()) {
            return;
        }
        size_t take = 0;
        if (const auto expected = ExpectedFrameLength(incoming);
            expected && incoming.size() >= *expected) {
            take = *expected;
        } else if (incoming.size() >= MAX_FRAME_BYTES) {
            take = MAX_FRAME_BYTES; // no request is longer
        } else if (silenceReached) {
            take = incoming.size();
        } else {
            return;
        }
        std::vector<uint8_t> frame(incoming.begin(), incoming.begin() + take);
        incoming.erase(incoming.begin(), incoming.begin() + take);
        HandleFrame(frame);
    }
}

void SimulatedModule::Impl::HandleFrame(const std::vector<uint8_t>& f) {
    const bool valid = IsValidFrame(f);
    FrameObserver notify;
    SimFaults current;
    {
        std::lock_guard lock(mutex);
        frames.push_back(f);
        notify = observer;
        current = faults;
    }
    framesChanged.notify_all();
    if (notify) {
        notify(f, valid);
    }
    if (!valid || current.silent) {
        return;
    }

    std::vector<uint8_t> reply;
    switch (f[7]) {
    case CMD_GET_VERSION: {
        std::lock_guard lock(mutex);
        reply.assign(FRAME_PREFIX.begin(), FRAME_PREFIX.end());
        reply.push_back(CMD_GET_VERSION);
        reply.insert(reply.end(), version.begin(), version.end());
        reply.resize(17, 0x00);
        reply = WithCrc(std::move(reply));
        break;
    }
    case CMD_READ: {
        if (f.size() != 12) {
            return;
        }
        const uint16_t index = IndexAt(f, 8);
        if (current.stopAfterSlot >= 0 && index > current.stopAfterSlot) {
            return;
        }
        std::lock_guard lock(mutex);
        const auto it = slots.find(index);
        reply = it == slots.end() ? SimulatedModule::StatusReply(STATUS_EMPTY)
                                  : SimulatedModule::CodeReply(it->second);
        break;
    }
    case CMD_LEARN:
        if (f.size() != 12) {
            return;
        }
        // A new learn replaces one still pending; its answer comes when it ends.
        learn = PendingLearn{Clock::now() + Ms(current.learnDelayMs), IndexAt(f, 8)};
        return;
    case CMD_SEND: {
        if (f.size() != 16) {
            return;
        }
        std::lock_guard lock(mutex);
        reply = SimulatedModule::StatusReply(slots.count(IndexAt(f, 8)) ? STATUS_OK : STATUS_EMPTY);
        break;
    }
    case CMD_WRITE: {
        const uint16_t index = IndexAt(f, 8);
        std::vector<uint8_t> code(f.begin() + 10, f.end() - 2);
        std::lock_guard lock(mutex);
        if (writesToRefuse > 0) {
            --writesToRefuse; // as if the frame was lost: nothing stored
            return;
        }
        const size_t n = writesAnswered++;
        const uint32_t replySize =
            n < current.writeReplySizes.size() ? current.writeReplySizes[n] : STATUS_REPLY_SIZE;
        if (replySize == 0) {
            return;
        }
        uint8_t status = STATUS_EMPTY;
        if (index >= 1 && index <= SLOT_COUNT) {
            if (code.empty()) {
                slots.erase(index);
            } else {
                slots[index] = std::move(code);
            }
            status = STATUS_OK;
        }
        reply = SimulatedModule::StatusReply(status);
        reply.resize(std::min<size_t>(reply.size(), replySize));
        break;
    }
    default:
        return; // unknown command: ignored
    }
    Answer(reply);
}

void SimulatedModule::Impl::AnswerLearn() {
    const uint16_t index = learn->index;
    learn.reset();
    uint8_t status = 0;
    {
        std::lock_guard lock(mutex);
        if (faults.silent) {
            return;
        }
        status = static_cast<uint8_t>(faults.learnStatus);
        if (status == STATUS_OK && index >= 1 && index <= SLOT_COUNT) {
            slots[index] = GeneratedCode(index, learnCount++);
        }
    }
    Answer(SimulatedModule::StatusReply(status));
}

void SimulatedModule::Impl::Answer(const std::vector<uint8_t>& reply) {
    SimFaults current;
    {
        std::lock_guard lock(mutex);
        current = faults;
    }
    // Bytes queue behind whatever is still going out.
    Clock::time_point t = Clock::now();
    if (!output.empty()) {
        t = std::max(t, output.back().first + (current.paced9600 ? BYTE_TIME : Clock::duration{}));
    }
    size_t pieceIndex = 0;
    size_t leftInPiece = 0;
    auto nextPiece = [&]() {
        while (pieceIndex < current.replyPieces.size() && current.replyPieces[pieceIndex] == 0) {
            ++pieceIndex;
        }
        // The rest of the reply goes as one piece once the given sizes are used up.
        leftInPiece = pieceIndex < current.replyPieces.size() ? current.replyPieces[pieceIndex++]
                                                              : reply.size();
    };
    nextPiece();
    for (size_t i = 0; i < reply.size(); ++i) {
        if (leftInPiece == 0) {
            t += Ms(current.pieceGapMs);
            nextPiece();
        }
        output.emplace_back(t, reply[i]);
        --leftInPiece;
        if (current.paced9600) {
            t += BYTE_TIME;
        }
    }
}

void SimulatedModule::Impl::FlushOutput(Clock::time_point now) {
    if (output.empty() || now < writeRetry) {
        return;
    }
    std::vector<uint8_t> due;
    for (const auto& [when, byte] : output) {
        if (when > now) {
            break;
        }
        due.push_back(byte);
    }
    if (due.empty()) {
        return;
    }
    ssize_t n;
    do {
        n = write(masterFd, due.data(), due.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        // Terminal buffer full (nobody reads): try again shortly.
        writeRetry = now + Ms(2);
        return;
    }
    output.erase(output.begin(), output.begin() + n);
}

SimulatedModule::SimulatedModule() : m_impl(std::make_unique<Impl>()) {
    // A few codes to find: slot 1, channel 2 key 5 (105), the last key of
    // channel 4 (400) and the last exported slot (448).
    m_impl->slots[1] = {0x11, 0x22, 0x33, 0x44};
    m_impl->slots[105] = GeneratedCode(105, 1000);
    m_impl->slots[400] = GeneratedCode(400, 1000);
    m_impl->slots[448] = {0xA5};
}

SimulatedModule::~SimulatedModule() {
    Stop();
}

bool SimulatedModule::Start() {
    Impl& d = *m_impl;
    if (d.server.joinable()) {
        return true;
    }
    d.masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (d.masterFd < 0) {
        return false;
    }
    char name[128] = {};
    if (grantpt(d.masterFd) != 0 || unlockpt(d.masterFd) != 0 ||
        ptsname_r(d.masterFd, name, sizeof name) != 0) {
        Stop();
        return false;
    }
    d.slavePath = name;
    // Held for the whole life, so the master never sees a hang-up between clients.
    d.slaveFd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (d.slaveFd < 0 || tcgetattr(d.slaveFd, &tio) != 0) {
        Stop();
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    d.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (tcsetattr(d.slaveFd, TCSANOW, &tio) != 0 || d.stopFd < 0) {
        Stop();
        return false;
    }
    d.incoming.clear();
    d.output.clear();
    d.learn.reset();
    d.writeRetry = {};
    d.server = std::thread([&d] { d.Serve(); });
    return true;
}

void SimulatedModule::Stop() {
    Impl& d = *m_impl;
    if (d.server.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(d.stopFd, &one, sizeof one);
        d.server.join();
    }
    d.publication.Withdraw();
    for (int* fd : {&d.stopFd, &d.slaveFd, &d.masterFd}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    d.learn.reset();
    d.output.clear();
    d.incoming.clear();
}

bool SimulatedModule::IsRunning() const {
    return m_impl->server.joinable();
}

bool SimulatedModule::Publish(const std::string& comName, std::string* reason) {
    if (!IsRunning()) {
        if (reason != nullptr) {
            *reason = "the module is not serving";
        }
        return false;
    }
    m_impl->publication.Withdraw();
    return m_impl->publication.Publish(comName, m_impl->slavePath, reason);
}

std::string SimulatedModule::PublishedLink() const {
    return m_impl->publication.IsPublished() ? m_impl->publication.LinkPath() : std::string();
}

const std::string& SimulatedModule::SlavePath() const {
    return m_impl->slavePath;
}

void SimulatedModule::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults = faults;
    m_impl->writesToRefuse = faults.refuseWrites;
    m_impl->writesAnswered = 0;
}

SimFaults SimulatedModule::Faults() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->faults;
}

void SimulatedModule::SetFirmwareVersion(const std::string& version) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->version.fill(0x00);
    std::copy_n(version.begin(), std::min<size_t>(version.size(), 6), m_impl->version.begin());
}

std::string SimulatedModule::FirmwareVersion() const {
    std::lock_guard lock(m_impl->mutex);
    const auto& v = m_impl->version;
    return std::string(v.begin(), std::find(v.begin(), v.end(), uint8_t{0}));
}

bool SimulatedModule::SetSlot(uint16_t index, std::vector<uint8_t> code) {
    if (index < 1 || index > SLOT_COUNT || code.size() > MAX_SLOT_CODE_BYTES) {
        return false;
    }
    std::lock_guard lock(m_impl->mutex);
    if (code.empty()) {
        m_impl->slots.erase(index);
    } else {
        m_impl->slots[index] = std::move(code);
    }
    return true;
}

std::vector<uint8_t> SimulatedModule::Slot(uint16_t index) const {
    std::lock_guard lock(m_impl->mutex);
    const auto it = m_impl->slots.find(index);
    return it == m_impl->slots.end() ? std::vector<uint8_t>{} : it->second;
}

void SimulatedModule::ClearSlots() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->slots.clear();
}

bool SimulatedModule::LoadDatabase(const std::string& path, std::string* error) {
    auto refuse = [error](std::string why) {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return false;
    };
    const DatabaseFileLines file = ReadDatabaseFile(path);
    if (!file.ok) {
        return refuse(file.error);
    }
    std::map<uint16_t, std::vector<uint8_t>> loaded;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        std::string reason;
        // A module holds whatever an export can write, longer codes than an
        // import can send included.
        auto line = ParseDatabaseLine(file.lines[i], MAX_SLOT_CODE_BYTES, &reason);
        if (!line) {
            return refuse(where + reason);
        }
        if (line->keyIndex < 1 || line->keyIndex > SLOT_COUNT) {
            return refuse(where + "slot " + std::to_string(line->keyIndex) + " is outside 1-" +
                          std::to_string(SLOT_COUNT));
        }
        if (line->code.empty()) {
            loaded.erase(line->keyIndex);
        } else {
            loaded[line->keyIndex] = std::move(line->code);
        }
    }
    std::lock_guard lock(m_impl->mutex);
    m_impl->slots = std::move(loaded);
    return true;
}

namespace {

// The process's file mode mask, read without changing it (umask() would,
// for every thread at once); 022 when /proc does not tell.
mode_t CurrentUmask() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return mask;
}

const char* FileKind(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

SaveOutcome SimulatedModule::SaveDatabase(const std::string& path) const {
    std::string text;
    {
        std::lock_guard lock(m_impl->mutex);
        for (const auto& [index, code] : m_impl->slots) {
            const auto reply = CodeReply(code);
            text += FormatDatabaseLine(index, reply.data(), static_cast<uint32_t>(reply.size()));
        }
    }
    const auto fail = [&path](const std::string& why) {
        return SaveOutcome{false, "cannot save to '" + path + "': " + why};
    };

    // Only a plain file is replaced, and the new one keeps its mode and owner.
    struct stat old {};
    const bool replacing = lstat(path.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) {
        return fail(std::strerror(errno));
    }
    if (replacing && !S_ISREG(old.st_mode)) {
        return fail(std::string("it is ") + FileKind(old.st_mode) +
                    "; only a regular file is replaced, so it is left as it is");
    }
    const mode_t mode = replacing ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());

    // A fresh name beside the target (never one that may already exist, as a
    // planted link could), written in full and renamed over it, so that a
    // failed save leaves the old file whole.
    const size_t slash = path.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (dir == "/" ? "/" : dir + "/") + "." + name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail("cannot make a new file in " + dir + ": " + std::strerror(errno));
    }
    std::string error;
    // The owner first: changing it clears set-id bits that the mode then restores.
    if (!WriteAll(fd, text)) {
        error = std::string("cannot write: ") + std::strerror(errno);
    } else if (replacing && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
               fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) {
        error = std::string("cannot keep its owner: ") + std::strerror(errno);
    } else if (fchmod(fd, mode) != 0) {
        error = std::string("cannot set its mode: ") + std::strerror(errno);
    } else if (fsync(fd) != 0) {
        error = std::string("cannot write to the disk: ") + std::strerror(errno);
    }
    if (close(fd) != 0 && error.empty()) {
        error = std::string("cannot write: ") + std::strerror(errno);
    }
    if (error.empty() && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::string("cannot replace it: ") + std::strerror(errno);
    }
    if (!error.empty()) {
        unlink(temp.c_str());
        return fail(error);
    }
    // The rename itself reaches the disk with the folder.
    if (const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return SaveOutcome{true, {}};
}

std::vector<std::vector<uint8_t>> SimulatedModule::ReceivedFrames() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->frames;
}

void SimulatedModule::ClearReceivedFrames() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->frames.clear();
}

bool SimulatedModule::WaitForFrames(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->framesChanged.wait_for(lock, timeout,
                                          [&] { return m_impl->frames.size() >= count; });
}

void SimulatedModule::SetFrameObserver(FrameObserver observer) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->observer = std::move(observer);
}

std::vector<uint8_t> SimulatedModule::CodeReply(const std::vector<uint8_t>& code) {
    std::vector<uint8_t> reply(FRAME_PREFIX.begin(), FRAME_PREFIX.end());
    reply.insert(reply.end(), code.begin(), code.end());
    return WithCrc(std::move(reply));
}

std::vector<uint8_t> SimulatedModule::StatusReply(uint8_t status) {
    std::vector<uint8_t> reply(FRAME_PREFIX.begin(), FRAME_PREFIX.begin() + 5);
    reply.push_back(status);
    return WithCrc(std::move(reply));
}
