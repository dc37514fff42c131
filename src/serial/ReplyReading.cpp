// CSerialLink's read of a reply that ends once the reply is whole: the
// exchanges' fast path, apart from the link's plain calls.

#include "SerialLink.h"

#include "LinkTransfer.h"
#include "ReadLimits.h"

#include <algorithm>
#include <chrono>

CReplyGap::Duration CSerialLink::ByteTime() const {
    const uint32_t parityBits = m_settings.parity == 'N' ? 0 : 1;
    const uint32_t stopBits = m_settings.stopBits == 0 ? 1 : 2;
    return CReplyGap::ByteTime(m_settings.baudRate,
                               1 + m_settings.byteSize + parityBits + stopBits);
}

uint32_t CSerialLink::ReadReply(uint8_t* buffer, uint32_t n, uint32_t pauseMs, CReplyGap& gap,
                                const ReplyComplete& complete) {
    if (buffer == nullptr || n == 0) {
        return 0;
    }
    Transfer t(*this);
    if (!t) {
        return 0;
    }
    using Clock = Deadline::Clock;
    const CReplyGap::Duration byteTime = ByteTime();
    const Clock::time_point pauseEnd = Clock::now() + std::chrono::milliseconds(pauseMs);
    ReplyRead read{ReadLimitsFor(m_settings.timeouts, n, pauseEnd), pauseEnd, gap.Quiet(byteTime)};
    uint32_t count = 0;
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
            // The line is known: rest while the reply streams in, for as long
            // as the rest of the longest reply takes, STREAM_NAP at most.
            const auto nap = std::min<Clock::duration>(STREAM_NAP, (n - count) * byteTime);
            const TransferEnd rested = RestUntil(end.Earlier(Deadline::After(nap)));
            const TransferResult r =
                m_driver->ReadSome(buffer + count, n - count, Deadline::At({}));
            if (r.count > 0) {
                count += std::min(r.count, n - count);
                lastTake = Clock::now();
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
                gap.SeeGap(std::chrono::duration_cast<CReplyGap::Duration>(now - lastTake));
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
