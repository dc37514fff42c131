#include "SimulatedModule.h"

#include "DeadlineWait.h"
#include "ModuleBehaviour.h"
#include "ModuleFrames.h"
#include "PacedOutput.h"
#include "PortDirectory.h"
#include "PseudoTerminal.h"
#include "Room.h"
#include "SlotStore.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

// The module's state lives in the behaviour; this is the line around it.
struct SimulatedModule::Impl {
    // Everything below the mutex is shared with the serving thread.
    mutable std::mutex mutex;
    mutable std::condition_variable framesChanged;
    CModuleBehaviour behaviour;
    CFrameRecord frames;
    FrameObserver observer;

    // Owned by the controlling thread; the serving thread only reads the fds.
    CPseudoTerminal pty;
    int stopFd = -1;
    PortPublication publication;
    // Changed only while the serving thread is stopped; the thread uses it.
    CRoom room;
    std::thread server;

    // Serving-thread state.
    std::vector<uint8_t> incoming;
    // When the last byte came in; paced, when it would have come at the
    // line's pace (later than it came through the pseudo-terminal).
    Clock::time_point lastByte;
    CPacedOutput output;

    void StartServing();
    // Stops the serving thread and keeps its state, so that it can go on.
    void StopServing();
    // Runs change with the serving thread stopped, as the room is the
    // thread's while it runs, and lets it go on.
    template <typename Change> void WhileNotServing(Change change);
    // Drops what the line and the behaviour still had going.
    void ForgetPending();
    void Serve();
    std::optional<Clock::time_point> NextWake();
    void ReadIncoming();
    // quiet: how long the line has been quiet since the last byte came in.
    void CutFrames(Clock::duration quiet);
    void HandleFrame(const std::vector<uint8_t>& frame);
    void TakeRoomCodes();
    // Puts what a step of the behaviour gives on the line and into the room.
    void Deliver(const CModuleBehaviour::Step& step, Clock::time_point now);
    void FlushOutput(Clock::time_point now);
};

void SimulatedModule::Impl::Serve() {
    bool masterUsable = true;
    for (;;) {
        std::optional<Clock::time_point> next = NextWake();
        if (!masterUsable) {
            next = std::min(next.value_or(Clock::time_point::max()),
                            Clock::now() + std::chrono::milliseconds(10));
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
        CModuleBehaviour::Step due;
        {
            std::lock_guard lock(mutex);
            due = behaviour.Tick(after);
        }
        Deliver(due, after);
        FlushOutput(after);
    }
}

// The earliest of: a frame's end by its length, a write's quiet or line
// silence; the behaviour's next step; the next byte to go out.
std::optional<Clock::time_point> SimulatedModule::Impl::NextWake() {
    std::optional<Clock::time_point> next;
    auto consider = [&next](std::optional<Clock::time_point> t) {
        if (t && (!next || *t < *next)) {
            next = t;
        }
    };
    if (!incoming.empty()) {
        consider(lastByte);
        consider(lastByte + WRITE_END_QUIET);
        consider(lastByte + FRAME_SILENCE);
    }
    {
        std::lock_guard lock(mutex);
        consider(behaviour.NextDue());
    }
    consider(output.NextDue());
    return next;
}

void SimulatedModule::Impl::ReadIncoming() {
    bool paced = false;
    {
        std::lock_guard lock(mutex);
        paced = behaviour.Faults().paced9600;
    }
    uint8_t buffer[1024];
    for (;;) {
        const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
        if (n > 0) {
            const auto now = Clock::now();
            // Paced, the bytes follow each other on the line, and after any still on it.
            lastByte = paced ? std::max(now, lastByte) + n * BYTE_TIME_9600 : now;
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

// Records the frame and tells the observer, then lets the behaviour answer it.
void SimulatedModule::Impl::HandleFrame(const std::vector<uint8_t>& f) {
    FrameObserver notify;
    {
        std::lock_guard lock(mutex);
        frames.Add(f);
        notify = observer;
    }
    framesChanged.notify_all();
    if (notify) {
        notify(f, IsValidFrame(f));
    }
    CModuleBehaviour::Step step;
    {
        std::lock_guard lock(mutex);
        step = behaviour.Answer(f, Clock::now(), room.Joined());
    }
    Deliver(step, Clock::now());
}

// Reads every code the room has brought: the first while a learn waits for
// one is captured, the others are lost as light nobody watches for.
void SimulatedModule::Impl::TakeRoomCodes() {
    while (const std::optional<std::vector<uint8_t>> code = room.Receive()) {
        CModuleBehaviour::Step step;
        {
            std::lock_guard lock(mutex);
            step = behaviour.Capture(*code);
        }
        Deliver(step, Clock::now());
    }
}

void SimulatedModule::Impl::Deliver(const CModuleBehaviour::Step& step, Clock::time_point now) {
    if (step.light) {
        room.Emit(*step.light); // no room, no light
    }
    if (step.reply) {
        SimFaults current;
        {
            std::lock_guard lock(mutex);
            current = behaviour.Faults();
        }
        output.QueueReply(*step.reply, current, Clock::now());
    }
    if (step.floodPiece) {
        const auto& piece = CModuleBehaviour::FLOOD_PIECE;
        output.QueueUnlessBusy(std::vector<uint8_t>(piece.begin(), piece.end()), now);
    }
}

void SimulatedModule::Impl::FlushOutput(Clock::time_point now) {
    const std::vector<uint8_t> due = output.Due(now);
    if (due.empty()) {
        return;
    }
    ssize_t n;
    do {
        n = write(pty.Master(), due.data(), due.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        // Terminal buffer full (nobody reads): try again shortly.
        output.RetryAt(now + std::chrono::milliseconds(2));
        return;
    }
    output.Sent(static_cast<size_t>(n));
}

SimulatedModule::SimulatedModule() : m_impl(std::make_unique<Impl>()) {}

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
    d.ForgetPending();
    d.StartServing();
    return true;
}

void SimulatedModule::Impl::ForgetPending() {
    incoming.clear();
    output.Clear();
    std::lock_guard lock(mutex);
    behaviour.DropPending();
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
    d.ForgetPending();
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
    m_impl->behaviour.SetFaults(faults);
}

SimFaults SimulatedModule::Faults() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->behaviour.Faults();
}

void SimulatedModule::SetFirmwareVersion(const std::string& version) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->behaviour.SetFirmwareVersion(version);
}

std::string SimulatedModule::FirmwareVersion() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->behaviour.FirmwareVersion();
}

bool SimulatedModule::SetSlot(uint16_t index, std::vector<uint8_t> code) {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->behaviour.Slots().Set(index, std::move(code));
}

std::vector<uint8_t> SimulatedModule::Slot(uint16_t index) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->behaviour.Slots().Get(index);
}

void SimulatedModule::ClearSlots() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->behaviour.Slots().Clear();
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
    m_impl->behaviour.Slots() = std::move(loaded);
    return true;
}

SaveOutcome SimulatedModule::SaveDatabase(const std::string& path) const {
    std::string text;
    {
        std::lock_guard lock(m_impl->mutex);
        text = m_impl->behaviour.Slots().DatabaseText();
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
