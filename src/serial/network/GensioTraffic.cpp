// What travels on a GensioConnection: the bytes each way through its two
// queues, and the server's requests and answers. The loop thread fills the
// input and drains the output; the transfer threads do the rest.

#include "GensioConnection.h"

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// How much output one gensio_write is offered.
constexpr size_t WRITE_CHUNK = 4096;

} // namespace

size_t GensioConnection::StoreInput(const unsigned char* buf, size_t len) {
    size_t taken = 0;
    {
        std::lock_guard lock(m_mutex);
        taken = std::min(len, INPUT_LIMIT - std::min(INPUT_LIMIT, m_input.size()));
        m_input.insert(m_input.end(), buf, buf + taken);
        m_received += taken;
        m_inputHeld = taken < len;
    }
    if (taken < len) {
        // Held back until a reader makes room; gensio keeps the rest.
        m_reading = false;
        gensio_set_read_callback_enable(m_io, false);
    }
    m_waiters.WakeAll();
    return taken;
}

void GensioConnection::ResumeInput() {
    if (m_io != nullptr && m_opened && !m_reading) {
        m_reading = true;
        gensio_set_read_callback_enable(m_io, true);
    }
}

size_t GensioConnection::TakeInput(uint8_t* buffer, size_t n) {
    bool resume = false;
    size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        count = std::min(n, m_input.size());
        std::copy_n(m_input.begin(), count, buffer);
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(count));
        if (m_inputHeld && m_input.size() < INPUT_LIMIT / 2) {
            m_inputHeld = false;
            resume = true;
        }
    }
    if (resume) {
        Post([this] { ResumeInput(); });
    }
    return count;
}

size_t GensioConnection::InputCount() const {
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

uint64_t GensioConnection::ReceivedTotal() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool GensioConnection::InputHoldsSince(uint64_t since, uint8_t c) const {
    std::lock_guard lock(m_mutex);
    const uint64_t firstQueued = m_received - m_input.size();
    const size_t skip = since > firstQueued ? static_cast<size_t>(since - firstQueued) : 0;
    if (skip >= m_input.size()) {
        return false;
    }
    return std::find(m_input.begin() + static_cast<ptrdiff_t>(skip), m_input.end(), c) !=
           m_input.end();
}

size_t GensioConnection::PutOutput(const uint8_t* buffer, size_t n) {
    bool post = false;
    size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_phase != Phase::Open) {
            return 0;
        }
        count = std::min(n, OUTPUT_LIMIT - std::min(OUTPUT_LIMIT, m_output.size()));
        m_output.insert(m_output.end(), buffer, buffer + count);
        post = count > 0 && !m_flushPosted;
        m_flushPosted = m_flushPosted || post;
    }
    if (post) {
        Post([this] { FlushOutput(); });
    }
    return count;
}

size_t GensioConnection::OutputCount() const {
    std::lock_guard lock(m_mutex);
    return m_output.size();
}

void GensioConnection::FlushOutput() {
    std::vector<uint8_t> chunk;
    {
        std::lock_guard lock(m_mutex);
        m_flushPosted = false;
        if (m_phase != Phase::Open) {
            return;
        }
        const size_t count = std::min(WRITE_CHUNK, m_output.size());
        chunk.assign(m_output.begin(), m_output.begin() + static_cast<ptrdiff_t>(count));
    }
    if (m_io == nullptr) {
        return;
    }
    gensiods written = 0;
    if (!chunk.empty()) {
        const int err = gensio_write(m_io, &written, chunk.data(), chunk.size(), nullptr);
        if (err != 0) {
            EndAfter(err);
            return;
        }
    }
    bool more = false;
    {
        // Only this thread takes from the front, so these are the bytes written.
        std::lock_guard lock(m_mutex);
        m_output.erase(m_output.begin(), m_output.begin() + static_cast<ptrdiff_t>(written));
        more = !m_output.empty();
    }
    gensio_set_write_callback_enable(m_io, more);
    if (written > 0) {
        m_waiters.WakeAll();
    }
}

uint64_t GensioConnection::Send(ServerRequest kind, unsigned value, bool awaitAnswer) {
    uint64_t ticket = 0;
    bool open = false;
    {
        std::lock_guard lock(m_mutex);
        RequestSlot& slot = m_requests[static_cast<size_t>(kind)];
        ticket = ++slot.sent;
        open = m_phase == Phase::Open;
        if (open && kind == ServerRequest::Purge && (value & SERGENSIO_FLUSH_RCV_BUFFER)) {
            m_input.clear();
        }
    }
    if (!open) {
        Answered(kind, GE_NOTREADY, 0);
        return ticket;
    }
    Post([this, kind, value, awaitAnswer] { SendOnLoop(kind, value, awaitAnswer); });
    return ticket;
}

void GensioConnection::SendOnLoop(ServerRequest kind, unsigned value, bool awaitAnswer) {
    sergensio* sio = m_io != nullptr && m_opened ? gensio_to_sergensio(m_io) : nullptr;
    if (sio == nullptr) {
        Answered(kind, GE_NOTREADY, 0);
        return;
    }
    const sergensio_done done = awaitAnswer ? RequestDone : nullptr;
    void* slot = &m_requests[static_cast<size_t>(kind)];
    int err = 0;
    switch (kind) {
    case ServerRequest::Baud:
        err = sergensio_baud(sio, value, done, slot);
        break;
    case ServerRequest::DataSize:
        err = sergensio_datasize(sio, value, done, slot);
        break;
    case ServerRequest::Parity:
        err = sergensio_parity(sio, value, done, slot);
        break;
    case ServerRequest::StopBits:
        err = sergensio_stopbits(sio, value, done, slot);
        break;
    case ServerRequest::FlowControl:
        err = sergensio_flowcontrol(sio, value, done, slot);
        break;
    case ServerRequest::Dtr:
        err = sergensio_dtr(sio, value, done, slot);
        break;
    case ServerRequest::Rts:
        err = sergensio_rts(sio, value, done, slot);
        break;
    case ServerRequest::Break:
        err = sergensio_sbreak(sio, value, done, slot);
        break;
    case ServerRequest::Purge:
        if (value & SERGENSIO_FLUSH_XMIT_BUFFER) {
            std::lock_guard lock(m_mutex);
            m_output.clear();
        }
        // Answered through GENSIO_EVENT_SER_FLUSH.
        err = sergensio_flush(sio, value);
        break;
    }
    if (err != 0) {
        Answered(kind, err, 0);
    }
}

void GensioConnection::RequestDone(sergensio*, int err, unsigned value, void* data) {
    auto* slot = static_cast<RequestSlot*>(data);
    slot->owner->Answered(slot->kind, err, value);
}

void GensioConnection::Answered(ServerRequest kind, int error, unsigned value) {
    {
        std::lock_guard lock(m_mutex);
        RequestSlot& slot = m_requests[static_cast<size_t>(kind)];
        slot.answered = std::min(slot.answered + 1, slot.sent);
        slot.last = Answer{true, error, value};
        // What came before the server's answer to a purge of its input was
        // sent before that purge.
        if (kind == ServerRequest::Purge && error == 0 && (value & SERGENSIO_FLUSH_RCV_BUFFER)) {
            m_input.clear();
        }
    }
    m_waiters.WakeAll();
}

GensioConnection::Answer GensioConnection::AnswerTo(ServerRequest kind, uint64_t ticket) const {
    std::lock_guard lock(m_mutex);
    const RequestSlot& slot = m_requests[static_cast<size_t>(kind)];
    if (slot.answered < ticket) {
        return {};
    }
    return slot.last;
}

bool GensioConnection::ModemState(unsigned& state) const {
    std::lock_guard lock(m_mutex);
    state = m_modemState;
    return m_modemKnown;
}

GensioConnection::LineReports GensioConnection::Reports() const {
    std::lock_guard lock(m_mutex);
    return m_reports;
}

unsigned GensioConnection::TakeLineState() {
    std::lock_guard lock(m_mutex);
    const unsigned state = m_lineState;
    m_lineState = 0;
    return state;
}
