#include "SimulatedModule.h"

#include "CommandFrame.h"
#include "DeadlineWait.h"
#include "FrameLayout.h"
#include "ModuleFrames.h"
#include "PortDirectory.h"
#include "PseudoTerminal.h"
#include "Reply.h"
#include "ReplyFaults.h"
#include "Room.h"
#include "SlotStore.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// 9600 baud, 8N1: ten bit times per byte.
constexpr std::chrono::nanoseconds BYTE_TIME{1'000'000'000LL * 10 / 9600};

// Reply bytes wait for a reader only up to this many; a reply beyond them is
// lost, as bytes sent on a line nobody reads are, instead of piling up.
constexpr size_t MAX_PENDING_OUTPUT = 8192;

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
    uint64_t repliesSent = 0;  // since the faults were set
    std::array<uint8_t, 6> version{'1', '0', '2', '0', '0', '3'};
    CSlotStore slots;
    CFrameRecord frames;
    FrameObserver observer;
    uint32_t learnCount = 0;

    // Owned by the controlling thread; the serving thread only reads the fds.
    CPseudoTerminal pty;
    int stopFd = -1;
    PortPublication publication;
    // Changed only while the serving thread is stopped; the thread uses it.
    CRoom room;
    std::thread server;

    // Serving-thread state.
    struct PendingLearn {
        Clock::time_point due; // of the answer; of the end of the window in a room
        uint16_t index = 0;
        bool inRoom = false; // waits for a code from the room
    };
    std::vector<uint8_t> incoming;
    // When the last byte came in; paced, when it would have come at the
    // line's pace (later than it came through the pseudo-terminal).
    Clock::time_point lastByte;
    std::optional<PendingLearn> learn;
    std::optional<Clock::time_point> floodDue; // the next piece of a learn's flood
    std::deque<std::pair<Clock::time_point, uint8_t>> output;
    Clock::time_point writeRetry;
    std::mt19937 random{std::random_device{}()}; // the capture noise's

    void StartServing();
    // Stops the serving thread and keeps its state, so that it can go on.
    void StopServing();
    // Runs change with the serving thread stopped, as the room is the
    // thread's while it runs, and lets it go on.
    template <typename Change> void WhileNotServing(Change change);
    void Serve();
    void ReadIncoming();
    // quiet: how long the line has been quiet since the last byte came in.
    void CutFrames(Clock::duration quiet);
    // A reply before the faults that change its bytes; cutTo bytes of it go out.
    struct Reply {
        std::vector<uint8_t> bytes;
        ReplyKind kind = ReplyKind::Status;
        size_t cutTo = SIZE_MAX;
    };
    void HandleFrame(const std::vector<uint8_t>& frame);
    SimFaults RecordFrame(const std::vector<uint8_t>& frame, bool valid);
    std::optional<Reply> ReplyTo(const std::vector<uint8_t>& frame, const SimFaults& current);
    std::optional<Reply> ReplyToRead(uint16_t index, const SimFaults& current);
    std::optional<Reply> ReplyToWrite(const std::vector<uint8_t>& frame, uint16_t index,
                                      const SimFaults& current);
    void StartLearn(uint16_t index, const SimFaults& current);
    void AnswerLearn(const std::vector<uint8_t>* captured = nullptr);
    void TakeRoomCodes();
    void Send(Reply reply);
    void SendFloodPiece(Clock::time_point now);
    void Answer(const std::vector<uint8_t>& reply);
    void FlushOutput(Clock::time_point now);
};

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
            consider(lastByte);
            consider(lastByte + WRITE_END_QUIET);
            consider(lastByte + FRAME_SILENCE);
        }
        if (learn) {
            consider(learn->due);
        }
        if (floodDue) {
            consider(*floodDue);
        }
        if (!output.empty()) {
            consider(std::max(output.front().first, writeRetry));
        }
        if (!masterUsable) {
            consider(now + Ms(10));
        }
        const Deadline until = next ? Deadline::At(*next) : Deadline::Never();
        // Without a room its fd is -1, which poll passes over.
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {room.Fd(), POLLIN, 0}, {pty.Master(), POLLIN, 0}};
        const int rc = PollUntil(fds, masterUsable ? 3 : 2, until);
        if (rc < 0 && errno != EINTR) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            return;
        }
        masterUsable = true;
        if (rc > 0 && fds[2].revents != 0) {
            const size_t before = incoming.size();
            ReadIncoming();
            // A hung-up master polls readable but reads nothing: back off instead of spinning.
            if (incoming.size() == before && (fds[2].revents & (POLLHUP | POLLERR))) {
                masterUsable = false;
            }
        }

        const auto after = Clock::now();
        // Paced, bytes are not in before the line could have carried them.
        if (after >= lastByte) {
            CutFrames(after - lastByte);
        }
        // After the frames: a learn frame and a code that came together are a capture.
        if (rc > 0 && fds[1].revents != 0) {
            TakeRoomCodes();
        }
        if (learn && after >= learn->due) {
            if (learn->inRoom) {
                learn.reset(); // nothing came: no answer, the host times out
            } else {
                AnswerLearn();
            }
        }
        if (floodDue && after >= *floodDue) {
            SendFloodPiece(after);
        }
        FlushOutput(after);
    }
}

void SimulatedModule::Impl::ReadIncoming() {
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = faults.paced9600;
    }
    uint8_t buffer[1024];
    for (;;) {
        const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
        if (n > 0) {
            const auto now = Clock::now();
            // Paced, the bytes follow each other on the line, and after any still on it.
            lastByte = paced ? std::max(now, lastByte) + n * BYTE_TIME : now;
            incoming.insert(incoming.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return; // EAGAIN, EIO (no slave user) or 0
    }
}

void SimulatedModule::Impl::CutFrames(Clock::duration quiet) {
    for (;;) {
        if (incoming.empty()) {
            return;
        }
        const size_t take = NextFrameSize(incoming, quiet);
        if (take == 0) {
            return;
        }
        const auto frameEnd = incoming.begin() + static_cast<std::ptrdiff_t>(take);
        std::vector<uint8_t> frame(incoming.begin(), frameEnd);
        incoming.erase(incoming.begin(), frameEnd);
        HandleFrame(frame);
    }
}

void SimulatedModule::Impl::HandleFrame(const std::vector<uint8_t>& f) {
    const bool valid = IsValidFrame(f);
    const SimFaults current = RecordFrame(f, valid);
    floodDue.reset(); // any frame ends a learn's flood
    if (!valid || current.silent) {
        return;
    }
    if (std::optional<Reply> reply = ReplyTo(f, current)) {
        Send(std::move(*reply));
    }
}

// Records the frame, tells the observer and returns the faults it meets.
SimFaults SimulatedModule::Impl::RecordFrame(const std::vector<uint8_t>& f, bool valid) {
    FrameObserver notify;
    SimFaults current;
    {
        std::lock_guard lock(mutex);
        frames.Add(f);
        notify = observer;
        current = faults;
    }
    framesChanged.notify_all();
    if (notify) {
        notify(f, valid);
    }
    return current;
}

// The reply to a valid frame, when it gets one at once.
std::optional<SimulatedModule::Impl::Reply>
SimulatedModule::Impl::ReplyTo(const std::vector<uint8_t>& f, const SimFaults& current) {
    // Every keyed frame is known valid here, so it holds its index.
    const uint16_t index = IndexAt(f.data() + FRAME_KEY_INDEX_OFFSET);
    switch (f[FRAME_COMMAND_OFFSET]) {
    case CMD_GET_VERSION: {
        std::lock_guard lock(mutex);
        return Reply{VersionReply(std::string(version.begin(), version.end())), ReplyKind::Version};
    }
    case CMD_READ:
        if (f.size() != BuildReadFrame(0).size) {
            return std::nullopt;
        }
        return ReplyToRead(index, current);
    case CMD_LEARN:
        if (f.size() == BuildLearnFrame(0).size) {
            StartLearn(index, current);
        }
        return std::nullopt; // its answer comes when it ends
    case CMD_SEND: {
        if (f.size() != BuildSendFrame(0, 0).size) {
            return std::nullopt;
        }
        std::vector<uint8_t> code;
        {
            std::lock_guard lock(mutex);
            code = slots.Get(index);
        }
        if (code.empty()) {
            return Reply{StatusReply(STATUS_EMPTY)};
        }
        room.Emit(code); // no room, no light
        return Reply{StatusReply(STATUS_OK)};
    }
    case CMD_WRITE:
        return ReplyToWrite(f, index, current);
    default:
        return std::nullopt; // unknown command: ignored
    }
}

std::optional<SimulatedModule::Impl::Reply>
SimulatedModule::Impl::ReplyToRead(uint16_t index, const SimFaults& current) {
    if (current.stopAfterSlot >= 0 && index > current.stopAfterSlot) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex);
    const std::vector<uint8_t> code = slots.Get(index);
    if (code.empty()) {
        return Reply{StatusReply(STATUS_EMPTY)};
    }
    return Reply{CodeReply(code), ReplyKind::Code};
}

std::optional<SimulatedModule::Impl::Reply>
SimulatedModule::Impl::ReplyToWrite(const std::vector<uint8_t>& f, uint16_t index,
                                    const SimFaults& current) {
    std::vector<uint8_t> code(f.begin() + WRITE_CODE_OFFSET, f.end() - CRC_SIZE);
    std::lock_guard lock(mutex);
    if (writesToRefuse > 0) {
        --writesToRefuse; // as if the frame was lost: nothing stored
        return std::nullopt;
    }
    const size_t n = writesAnswered++;
    const uint32_t replySize =
        n < current.writeReplySizes.size() ? current.writeReplySizes[n] : STATUS_REPLY_SIZE;
    if (replySize == 0) {
        return std::nullopt;
    }
    auto status = static_cast<uint8_t>(current.ackStatus);
    if (status == STATUS_OK && !slots.Set(index, std::move(code))) {
        status = STATUS_EMPTY;
    }
    return Reply{StatusReply(status), ReplyKind::Status, replySize};
}

// A new learn replaces one still pending; under the flood it is never answered.
void SimulatedModule::Impl::StartLearn(uint16_t index, const SimFaults& current) {
    const auto now = Clock::now();
    if (current.floodLearn) {
        learn.reset();
        floodDue = now + Ms(FLOOD_INTERVAL_MS);
        return;
    }
    if (room.Joined()) {
        learn = PendingLearn{now + Ms(current.learnWindowMs), index, true};
        return;
    }
    learn = PendingLearn{now + Ms(current.learnDelayMs), index};
}

// Ends the pending learn: stores what was captured from the room, or without
// a room a generated code, and answers with the learn's status.
void SimulatedModule::Impl::AnswerLearn(const std::vector<uint8_t>* captured) {
    const uint16_t index = learn->index;
    learn.reset();
    uint8_t status = 0;
    {
        std::lock_guard lock(mutex);
        if (faults.silent) {
            return;
        }
        status = static_cast<uint8_t>(faults.learnStatus);
        if (status == STATUS_OK) {
            const bool stored =
                captured != nullptr
                    ? slots.Set(index, CapturedCode(*captured, faults.captureNoise, random))
                    : slots.Set(index, GeneratedCode(index, learnCount));
            if (captured != nullptr && !stored) {
                status = STATUS_SAVE_FAIL; // too long for a slot: nothing stored
            }
            learnCount += stored && captured == nullptr ? 1 : 0;
        }
    }
    Send(Reply{StatusReply(status)});
}

// Reads every code the room has brought: the first while a learn waits for
// one is captured, the others are lost as light nobody watches for.
void SimulatedModule::Impl::TakeRoomCodes() {
    while (const std::optional<std::vector<uint8_t>> code = room.Receive()) {
        if (learn && learn->inRoom) {
            AnswerLearn(&*code);
        }
    }
}

// Counts the reply, lets the faults change its bytes and queues what goes out.
void SimulatedModule::Impl::Send(Reply reply) {
    std::vector<uint8_t> bytes;
    {
        std::lock_guard lock(mutex);
        bytes = ReplyAsSent(std::move(reply.bytes), reply.kind, ++repliesSent, faults);
    }
    bytes.resize(std::min(bytes.size(), reply.cutTo));
    Answer(bytes);
}

void SimulatedModule::Impl::SendFloodPiece(Clock::time_point now) {
    floodDue = now + Ms(FLOOD_INTERVAL_MS);
    // A reader that does not keep up gets no more: the queue stays short.
    if (!output.empty()) {
        return;
    }
    for (const uint8_t byte : FLOOD_PIECE) {
        output.emplace_back(now, byte);
    }
}

void SimulatedModule::Impl::Answer(const std::vector<uint8_t>& reply) {
    SimFaults current;
    {
        std::lock_guard lock(mutex);
        current = faults;
    }
    if (output.size() + reply.size() > MAX_PENDING_OUTPUT) {
        return;
    }
    // Bytes queue behind whatever is still going out.
    Clock::time_point t = Clock::now() + Ms(current.turnaroundMs);
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
    for (const uint8_t byte : reply) {
        if (leftInPiece == 0) {
            t += Ms(current.pieceGapMs);
            nextPiece();
        }
        output.emplace_back(t, byte);
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
        n = write(pty.Master(), due.data(), due.size());
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
    m_impl->slots.Set(1, {0x11, 0x22, 0x33, 0x44});
    m_impl->slots.Set(105, GeneratedCode(105, 1000));
    m_impl->slots.Set(400, GeneratedCode(400, 1000));
    m_impl->slots.Set(448, {0xA5});
}

SimulatedModule::~SimulatedModule() {
    Stop();
}

bool SimulatedModule::Start() {
    Impl& d = *m_impl;
    if (d.server.joinable()) {
        return true;
    }
    d.stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.stopFd < 0 || !d.pty.Open()) {
        Stop();
        return false;
    }
    d.incoming.clear();
    d.output.clear();
    d.learn.reset();
    d.floodDue.reset();
    d.writeRetry = {};
    d.StartServing();
    return true;
}

void SimulatedModule::Impl::StartServing() {
    server = std::thread([this] { Serve(); });
}

void SimulatedModule::Impl::StopServing() {
    if (!server.joinable()) {
        return;
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(stopFd, &one, sizeof one);
    server.join();
    n = read(stopFd, &one, sizeof one); // taken back, so that serving can go on
}

void SimulatedModule::Stop() {
    Impl& d = *m_impl;
    d.StopServing();
    d.room.Leave();
    d.publication.Withdraw();
    d.pty.Close();
    if (d.stopFd >= 0) {
        close(d.stopFd);
        d.stopFd = -1;
    }
    d.learn.reset();
    d.floodDue.reset();
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
    return m_impl->publication.Publish(comName, m_impl->pty.SlavePath(), reason);
}

std::string SimulatedModule::PublishedLink() const {
    return m_impl->publication.IsPublished() ? m_impl->publication.LinkPath() : std::string();
}

const std::string& SimulatedModule::SlavePath() const {
    return m_impl->pty.SlavePath();
}

template <typename Change> void SimulatedModule::Impl::WhileNotServing(Change change) {
    const bool serving = server.joinable();
    StopServing();
    change();
    if (serving) {
        StartServing();
    }
}

bool SimulatedModule::JoinRoom(const std::string& name, std::string* reason) {
    bool joined = false;
    m_impl->WhileNotServing([&] { joined = m_impl->room.Join(name, reason); });
    return joined;
}

void SimulatedModule::LeaveRoom() {
    m_impl->WhileNotServing([&] { m_impl->room.Leave(); });
}

std::string SimulatedModule::RoomName() const {
    return m_impl->room.Name();
}

void SimulatedModule::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults = faults;
    m_impl->writesToRefuse = faults.refuseWrites;
    m_impl->writesAnswered = 0;
    m_impl->repliesSent = 0;
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
    std::lock_guard lock(m_impl->mutex);
    return m_impl->slots.Set(index, std::move(code));
}

std::vector<uint8_t> SimulatedModule::Slot(uint16_t index) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->slots.Get(index);
}

void SimulatedModule::ClearSlots() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->slots.Clear();
}

bool SimulatedModule::LoadDatabase(const std::string& path, std::string* error) {
    CSlotStore loaded;
    std::string why;
    if (!CSlotStore::FromDatabaseFile(path, loaded, why)) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    std::lock_guard lock(m_impl->mutex);
    m_impl->slots = std::move(loaded);
    return true;
}

SaveOutcome SimulatedModule::SaveDatabase(const std::string& path) const {
    std::string text;
    {
        std::lock_guard lock(m_impl->mutex);
        text = m_impl->slots.DatabaseText();
    }
    return ReplaceFileContents(path, text);
}

std::vector<std::vector<uint8_t>> SimulatedModule::ReceivedFrames() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->frames.Frames();
}

void SimulatedModule::ClearReceivedFrames() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->frames.Clear();
}

bool SimulatedModule::WaitForFrames(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->mutex);
    return m_impl->framesChanged.wait_for(
        lock, timeout, [&] { return m_impl->frames.ReceivedSinceClear() >= count; });
}

void SimulatedModule::SetFrameObserver(FrameObserver observer) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->observer = std::move(observer);
}

std::vector<uint8_t> SimulatedModule::CodeReply(const std::vector<uint8_t>& code) {
    return ::CodeReply(code);
}

std::vector<uint8_t> SimulatedModule::StatusReply(uint8_t status) {
    return ::StatusReply(status);
}
