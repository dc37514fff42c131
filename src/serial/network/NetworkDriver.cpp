#include "NetworkDriver.h"

#include "LineBits.h"

#include <gensio/gensio_err.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <poll.h>

namespace {

const char* RequestName(ServerRequest kind) {
    switch (kind) {
    case ServerRequest::Baud:
        return "the baud rate";
    case ServerRequest::DataSize:
        return "the data size";
    case ServerRequest::Parity:
        return "the parity";
    case ServerRequest::StopBits:
        return "the stop bits";
    case ServerRequest::FlowControl:
        return "the flow control";
    case ServerRequest::Dtr:
        return "DTR";
    case ServerRequest::Rts:
        return "RTS";
    case ServerRequest::Break:
        return "the break";
    case ServerRequest::Purge:
        return "a purge";
    }
    return "a request";
}

// RFC 2217's codes for the DCB's parity (NOPARITY 0 .. SPACEPARITY 4) and stop bits.
unsigned ParityRequest(uint8_t parity) {
    return parity <= 4 ? parity + 1u : SERGENSIO_PARITY_NONE;
}

unsigned StopBitsRequest(uint8_t stopBits) {
    switch (stopBits) {
    case 1:
        return 3; // one and a half
    case 2:
        return 2;
    default:
        return 1;
    }
}

unsigned FlowControlRequest(const Dcb& dcb) {
    const uint32_t rtsControl = (dcb.flags >> DCB_FRTSCONTROL_SHIFT) & 3u;
    if ((dcb.flags & DCB_FOUTXCTSFLOW) || rtsControl == 2) {
        return SERGENSIO_FLOWCONTROL_RTS_CTS;
    }
    if (dcb.flags & (DCB_FOUTX | DCB_FINX)) {
        return SERGENSIO_FLOWCONTROL_XON_XOFF;
    }
    return SERGENSIO_FLOWCONTROL_NONE;
}

// The CE_ bits of RFC 2217 line-state reports.
uint32_t CommErrorsFromLineState(unsigned state) {
    uint32_t errors = 0;
    errors |= (state & SERGENSIO_LINESTATE_OVERRUN_ERR) ? CE_OVERRUN : 0;
    errors |= (state & SERGENSIO_LINESTATE_PARITY_ERR) ? CE_RXPARITY : 0;
    errors |= (state & SERGENSIO_LINESTATE_FRAMING_ERR) ? CE_FRAME : 0;
    errors |= (state & SERGENSIO_LINESTATE_BREAK) ? CE_BREAK : 0;
    return errors;
}

// RFC 2217's modem state carries the lines in the bits the MS_ flags use.
uint32_t ModemStatusFromState(unsigned state) {
    return state & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
}

} // namespace

NetworkDriver::NetworkDriver(NetworkTarget target) : m_target(std::move(target)) {}

NetworkDriver::~NetworkDriver() {
    CloseDevice();
}

bool NetworkDriver::OpenDevice(uint8_t) {
    if (m_connection) {
        return false;
    }
    for (auto& silent : m_silent) {
        silent = false;
    }
    m_refusalNoted = false;
    m_lastPurge = {};
    const std::string cannot = "cannot connect to " + HostAndPort(m_target) + ": ";
    auto connection = std::make_unique<GensioConnection>(m_target);
    if (!connection->Start()) {
        std::lock_guard lock(m_noteMutex);
        m_reason = cannot + connection->Failure();
        return false;
    }
    WakeList::Entry entry(connection->Waiters());
    const auto started = Deadline::Clock::now();
    const Deadline deadline = Deadline::AfterMs(CONNECT_WAIT_MS);
    std::string failure;
    for (;;) {
        const GensioConnection::Phase phase = connection->CurrentPhase();
        if (phase == GensioConnection::Phase::Open) {
            break;
        }
        if (phase == GensioConnection::Phase::Ended) {
            failure = connection->Failure();
            break;
        }
        if (deadline.Expired()) {
            failure = "no answer within " + std::to_string(CONNECT_WAIT_MS / 1000) + " s";
            break;
        }
        // The signals are left out: an abort left raised by an earlier
        // transfer must not fail an open, as it does not a local one.
        const TransferEnd end = Wait(entry.Fd(), deadline, false);
        entry.Clear();
        if (end != TransferEnd::Complete) {
            failure = "the wait failed";
            break;
        }
    }
    std::lock_guard lock(m_noteMutex);
    if (!failure.empty()) {
        m_reason = cannot + failure;
        return false;
    }
    m_reason.clear();
    // The opening took at least one round trip: the first measure of it.
    m_roundTripUs = 0;
    SeeRoundTrip(Deadline::Clock::now() - started);
    m_connection = std::move(connection);
    m_scanned = 0;
    return true;
}

void NetworkDriver::CloseDevice() {
    if (m_connection) {
        FollowUpPurge(); // the last purge's answer has had its time by now
    }
    m_connection.reset();
}

std::string NetworkDriver::Reason() const {
    std::lock_guard lock(m_noteMutex);
    return m_reason;
}

std::vector<std::string> NetworkDriver::TakeNotes() {
    std::lock_guard lock(m_noteMutex);
    std::vector<std::string> notes;
    notes.swap(m_notes);
    return notes;
}

void NetworkDriver::Note(const std::string& text) {
    std::lock_guard lock(m_noteMutex);
    m_notes.push_back(text);
}

bool NetworkDriver::ConnectionEnded() {
    if (m_connection->CurrentPhase() != GensioConnection::Phase::Ended) {
        return false;
    }
    std::lock_guard lock(m_noteMutex);
    m_reason = m_connection->Failure();
    return true;
}

bool NetworkDriver::TakeAnswer(const Request& r, const GensioConnection::Answer& answer) {
    if (answer.error == GE_NOTSUP) {
        // gensio's answer for a server that refused RFC 2217 at the start.
        if (!m_refusalNoted.exchange(true)) {
            Note("the server does not take RFC 2217 requests; the line keeps the server's own "
                 "settings");
        }
        return false;
    }
    if (answer.error != 0) {
        Note(std::string("the server did not take ") + RequestName(r.kind) + ": " +
             gensio_err_to_str(answer.error));
        return false;
    }
    if (answer.value != r.value) {
        Note(std::string("the server set ") + RequestName(r.kind) + " to " +
             std::to_string(answer.value) + ", not " + std::to_string(r.value));
        return false;
    }
    return true;
}

void NetworkDriver::SeeRoundTrip(Deadline::Clock::duration took) {
    const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    int64_t longest = m_roundTripUs.load();
    while (us > longest && !m_roundTripUs.compare_exchange_weak(longest, us)) {
    }
}

uint32_t NetworkDriver::AnswerWaitMs() const {
    const int64_t ms = (m_roundTripUs.load() * ANSWER_ROUND_TRIPS + 999) / 1000;
    return static_cast<uint32_t>(
        std::clamp<int64_t>(ms, MIN_ANSWER_WAIT_MS, int64_t{ANSWER_WAIT_MS}));
}

void NetworkDriver::NoteSilence(ServerRequest kind, uint32_t waitedMs) {
    m_silent[static_cast<size_t>(kind)] = true;
    Note(std::string("the server did not answer the request for ") + RequestName(kind) +
         " within " + std::to_string(waitedMs) + " ms; going on without waiting for its answers");
}

bool NetworkDriver::Ask(const std::vector<Request>& requests) {
    if (!m_connection || ConnectionEnded()) {
        return false;
    }
    WakeList::Entry entry(m_connection->Waiters());
    std::vector<uint64_t> tickets;
    tickets.reserve(requests.size());
    for (const Request& r : requests) {
        tickets.push_back(
            m_connection->Send(r.kind, r.value, !m_silent[static_cast<size_t>(r.kind)]));
    }
    std::vector<bool> settled(requests.size(), false);
    const auto sent = Deadline::Clock::now();
    const uint32_t waitMs = AnswerWaitMs();
    const Deadline deadline = Deadline::AfterMs(waitMs, sent);
    bool ok = true;
    for (;;) {
        bool waiting = false;
        for (size_t i = 0; i < requests.size(); ++i) {
            if (settled[i]) {
                continue;
            }
            const Request& r = requests[i];
            const GensioConnection::Answer answer = m_connection->AnswerTo(r.kind, tickets[i]);
            auto& silent = m_silent[static_cast<size_t>(r.kind)];
            if (answer.came) {
                settled[i] = true;
                SeeRoundTrip(Deadline::Clock::now() - sent);
                ok = TakeAnswer(r, answer) && ok;
            } else if (silent) {
                settled[i] = true;
            } else if (deadline.Expired()) {
                settled[i] = true;
                NoteSilence(r.kind, waitMs);
            } else {
                waiting = true;
            }
        }
        if (!waiting) {
            return ok;
        }
        if (ConnectionEnded()) {
            return false;
        }
        const TransferEnd end = Wait(entry.Fd(), deadline);
        entry.Clear();
        if (end != TransferEnd::Complete) {
            return ok; // the requests are out; a signal ends only the wait for answers
        }
    }
}

bool NetworkDriver::SetState(const Dcb& dcb) {
    return Ask({{ServerRequest::Baud, dcb.BaudRate},
                {ServerRequest::DataSize, dcb.ByteSize},
                {ServerRequest::Parity, ParityRequest(dcb.Parity)},
                {ServerRequest::StopBits, StopBitsRequest(dcb.StopBits)},
                {ServerRequest::FlowControl, FlowControlRequest(dcb)}});
}

bool NetworkDriver::EscapeFunction(uint32_t code) {
    switch (code) {
    case SETDTR:
        return Ask({{ServerRequest::Dtr, SERGENSIO_DTR_ON}});
    case CLRDTR:
        return Ask({{ServerRequest::Dtr, SERGENSIO_DTR_OFF}});
    case SETRTS:
        return Ask({{ServerRequest::Rts, SERGENSIO_RTS_ON}});
    case CLRRTS:
        return Ask({{ServerRequest::Rts, SERGENSIO_RTS_OFF}});
    case SETBREAK:
        return Ask({{ServerRequest::Break, SERGENSIO_BREAK_ON}});
    case CLRBREAK:
        return Ask({{ServerRequest::Break, SERGENSIO_BREAK_OFF}});
    default:
        // RFC 2217 cannot hold the server's own transmitter as XOFF would.
        return false;
    }
}

// A purge travels in the byte stream ahead of whatever is written next, so
// the server purges before it takes that; and what it sent before purging is
// dropped here when its answer comes (GensioConnection). Nothing needs the
// answer before the next write, so none is waited for, and a purge costs no
// round trip. Whether it came is looked at when the next purge goes out.
bool NetworkDriver::Purge(uint32_t flags) {
    if (!m_connection || ConnectionEnded()) {
        return false;
    }
    // Nothing stays pending between calls, so the abort flags have nothing
    // to end; the clear flags name the server's buffers and ours.
    unsigned value = 0;
    value |= (flags & PURGE_RXCLEAR) ? SERGENSIO_FLUSH_RCV_BUFFER : 0u;
    value |= (flags & PURGE_TXCLEAR) ? SERGENSIO_FLUSH_XMIT_BUFFER : 0u;
    if (value == 0) {
        return true;
    }
    FollowUpPurge();
    const uint64_t ticket = m_connection->Send(ServerRequest::Purge, value);
    if (m_lastPurge.ticket == 0 && !m_silent[static_cast<size_t>(ServerRequest::Purge)]) {
        m_lastPurge = {ticket, value, Deadline::AfterMs(AnswerWaitMs()), AnswerWaitMs()};
    }
    return true;
}

void NetworkDriver::FollowUpPurge() {
    if (m_lastPurge.ticket == 0) {
        return;
    }
    const GensioConnection::Answer answer =
        m_connection->AnswerTo(ServerRequest::Purge, m_lastPurge.ticket);
    if (answer.came) {
        TakeAnswer({ServerRequest::Purge, m_lastPurge.value}, answer);
    } else if (m_lastPurge.by.Expired()) {
        NoteSilence(ServerRequest::Purge, m_lastPurge.waitMs);
    } else {
        return; // still on its way
    }
    m_lastPurge = {};
}

TransferEnd NetworkDriver::Wait(int wake, const Deadline& deadline, bool withSignals) const {
    pollfd fd{wake, POLLIN, 0};
    return WaitOn(&fd, wake >= 0 ? 1 : 0, deadline, withSignals);
}

// One take holds all that is queued, one put all that fits.
TimedDriver::LineStep NetworkDriver::Take(uint8_t* buffer, uint32_t n) {
    return {static_cast<uint32_t>(m_connection->TakeInput(buffer, n)), LineStep::Next::Wait};
}

TimedDriver::LineStep NetworkDriver::Put(const uint8_t* buffer, uint32_t n) {
    return {static_cast<uint32_t>(m_connection->PutOutput(buffer, n)), LineStep::Next::Wait};
}

TransferEnd NetworkDriver::WaitInput(int wake, const Deadline& until, bool&) {
    return Wait(wake, until);
}

TransferEnd NetworkDriver::WaitOutput(int wake, const Deadline& until) {
    return Wait(wake, until);
}

TransferEnd NetworkDriver::WaitEvent(uint32_t mask, char evtChar, uint32_t ms, uint32_t& events) {
    events = 0;
    if (!m_connection) {
        return TransferEnd::Failed;
    }
    WakeList::Entry entry(m_connection->Waiters());
    unsigned state = 0;
    const bool haveLines = m_connection->ModemState(state);
    const uint32_t linesAtStart = ModemStatusFromState(state);
    const GensioConnection::LineReports reportsAtStart = m_connection->Reports();
    const Deadline deadline = Deadline::AfterMs(ms);
    for (;;) {
        // The event character counts in bytes no earlier wait looked at.
        if ((mask & EV_RXFLAG) && m_connection->InputHoldsSince(m_scanned, uint8_t(evtChar))) {
            events |= EV_RXFLAG;
        }
        m_scanned = m_connection->ReceivedTotal();
        if ((mask & EV_RXCHAR) && m_connection->InputCount() > 0) {
            events |= EV_RXCHAR;
        }
        if (haveLines && m_connection->ModemState(state)) {
            events |= LineEventsBetween(linesAtStart, ModemStatusFromState(state));
        }
        const GensioConnection::LineReports reports = m_connection->Reports();
        events |= reports.errors != reportsAtStart.errors ? EV_ERR : 0;
        events |= reports.breaks != reportsAtStart.breaks ? EV_BREAK : 0;
        events &= mask;
        if (events != 0 || deadline.Expired()) {
            return TransferEnd::Complete;
        }
        if (ConnectionEnded()) {
            return TransferEnd::Failed;
        }
        const TransferEnd end = Wait(entry.Fd(), deadline);
        entry.Clear();
        if (end != TransferEnd::Complete) {
            return end;
        }
    }
}

bool NetworkDriver::ClearErrors(uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = {};
    if (!m_connection) {
        return false;
    }
    stat.cbInQue = static_cast<uint32_t>(m_connection->InputCount());
    stat.cbOutQue = static_cast<uint32_t>(m_connection->OutputCount());
    errors = CommErrorsFromLineState(m_connection->TakeLineState());
    return true;
}

bool NetworkDriver::GetModemStatus(uint32_t& status) {
    status = 0;
    unsigned state = 0;
    if (!m_connection || !m_connection->ModemState(state)) {
        return false;
    }
    status = ModemStatusFromState(state);
    return true;
}
