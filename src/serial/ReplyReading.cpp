// CSerialLink's read of a reply that ends once the reply is whole: the
// exchanges' fast path, apart from the link's plain calls.

#include "SerialLink.h"

#include "LinkTransfer.h"
#include "ReadLimits.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = Deadline::Clock;

// How long a read rests once count of a reply's bytes are in: until the
// reply can first be whole (its shortest size) and quiet after it, so that a
// reply of that size is taken in the next wake-up; else for as long as the
// rest of the longest reply (n) takes, STREAM_NAP at most.
Clock::duration StreamNap(uint32_t count, uint32_t shortest, uint32_t n,
                          CReplyGap::Duration byteTime, CReplyGap::Duration quiet,
                          Clock::duration most) {
    if (count < shortest) {
        return (shortest - count) * byteTime + std::max(quiet, byteTime / 2);
    }
    return std::min<Clock::duration>(most, (n - count) * byteTime);
}

// The silence within a wait that brought count bytes: what their own line
// time does not explain.
CReplyGap::Duration Silence(Clock::duration waited, uint32_t count, CReplyGap::Duration byteTime) {
    const auto silent = std::chrono::duration_cast<CReplyGap::Duration>(waited) - count * byteTime;
    return std::max(silent, CReplyGap::Duration::zero());
}

} // namespace

CReplyGap::Duration CSerialLink::ByteTime() const {
    const uint32_t parityBits = m_settings.parity == 'N' ? 0 : 1;
    const uint32_t stopBits = m_settings.stopBits == 0 ? 1 : 2;
    return CReplyGap::ByteTime(m_settings.baudRate,
                               1 + m_settings.byteSize + parityBits + stopBits);
}

uint32_t CSerialLink::ReadReply(uint8_t* buffer, uint32_t n, uint32_t pauseMs, CReplyGap& gap,
                                uint32_t shortest, const ReplyComplete& complete,
                                uint32_t already) {
    if (buffer == nullptr || n == 0 || already > n) {
        return 0;
    }
    Transfer t(*this);
    if (!t) {
        return 0;
    }
    const CReplyGap::Duration byteTime = ByteTime();
    const Clock::time_point pauseEnd = Clock::now() + std::chrono::milliseconds(pauseMs);
    ReplyRead read{ReadLimitsFor(m_settings.timeouts, n, pauseEnd), pauseEnd, gap.Quiet(byteTime)};
    uint32_t count = already;
    // When the bytes so far were taken: no earlier than the last of them came.
    Clock::time_point lastTake = pauseEnd;
    for (;;) {
        const bool whole = count > 0 && complete && complete(buffer, count);
        read.quietGap = gap.Quiet(byteTime);
        const Deadline end = ReplyReadEnd(read, count > 0, whole, lastTake);
        if (count == n || end.Expired()) {
            if (count > 0) {
                gap.CountReply();
            }
            return count;
        }
        if (count > 0 && !whole && !gap.Learning()) {
            // The line is known: rest while the reply streams in.
            const auto nap = StreamNap(count, shortest, n, byteTime, read.quietGap, STREAM_NAP);
            const TransferEnd rested = RestUntil(end.Earlier(Deadline::After(nap)));
            const TransferResult r =
                m_driver->ReadSome(buffer + count, n - count, Deadline::At({}));
            if (r.count > 0) {
                // Fewer bytes than the rest could carry: the line went quiet
                // during it, as long ago as their own line time leaves.
                const Clock::time_point now = Clock::now();
                count += std::min(r.count, n - count);
                lastTake = now - Silence(now - lastTake, r.count, byteTime);
            }
            if (rested != TransferEnd::Complete || r.end != TransferEnd::Complete) {
                return count;
            }
            if (r.count > 0) {
                continue;
            }
            // Nothing came while it rested: a pause inside the reply, which
            // the wait below measures.
        }
        const TransferResult r = m_driver->ReadSome(buffer + count, n - count, end);
        if (r.count > 0) {
            const Clock::time_point now = Clock::now();
            if (count > 0) {
                gap.SeeGap(Silence(now - lastTake, r.count, byteTime));
            }
            count += std::min(r.count, n - count);
            lastTake = now;
        }
        if (r.end != TransferEnd::Complete) {
            return count;
        }
    }
}

TransferEnd CSerialLink::RestUntil(const Deadline& until) {
    const auto left = until.When() - Deadline::Clock::now();
    if (left <= Deadline::Clock::duration::zero()) {
        return TransferEnd::Complete;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return m_driver->WaitSignals(static_cast<uint32_t>(ms));
}
