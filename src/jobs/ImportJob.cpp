#include "ImportJob.h"

#include "FileLines.h"
#include "ModuleOperations.h"
#include "SlotJournal.h"

namespace {

using State = LineResult::State;

State StateOf(WriteOutcome::Result result) {
    switch (result) {
    case WriteOutcome::Result::Written:
        return State::Written;
    case WriteOutcome::Result::Refused:
        return State::Refused;
    case WriteOutcome::Result::Damaged:
        return State::Damaged;
    case WriteOutcome::Result::NotAcknowledged:
    case WriteOutcome::Result::TooLong:
        break;
    }
    return State::NotAcknowledged;
}

void Count(LineCounts& counts, const LineResult& line) {
    switch (line.state) {
    case State::Written:
        ++counts.written;
        break;
    case State::Malformed:
        ++counts.malformed;
        break;
    case State::NotAcknowledged:
        ++counts.notAcknowledged;
        break;
    case State::Refused:
        ++counts.refused;
        break;
    case State::Damaged:
        ++counts.damaged;
        break;
    case State::NotSent:
        ++counts.notSent;
        break;
    }
    if (line.duplicateOf > 0) {
        ++counts.duplicates;
    }
}

} // namespace

ImportResult ImportFile(const JobPort& port, const std::vector<std::string>& lines,
                        IJobObserver& observer) {
    ImportResult result;
    const std::vector<FileLine> checked = CheckFileLines(lines);
    result.lines.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        LineResult& line = result.lines[i];
        line.index = i;
        line.duplicateOf = checked[i].duplicateOf;
        if (const auto& parsed = checked[i].checked.parsed) {
            line.parsed = true;
            line.slot = parsed->keyIndex;
            line.codeBytes = parsed->code.size();
        } else {
            line.fault = checked[i].checked.fault;
        }
    }

    const auto total = static_cast<int32_t>(lines.size());
    observer.OnStart(total);
    for (size_t i = 0; i < lines.size() && result.outcome == JobOutcome::Complete; ++i) {
        if (port.Stopped()) {
            result.outcome = JobOutcome::Cancelled;
            break;
        }
        LineResult& line = result.lines[i];
        const auto& parsed = checked[i].checked.parsed;
        if (!parsed) {
            line.state = State::Malformed;
            observer.OnLine(line);
            continue;
        }
        if (const JournalStep step = JournalBefore(port, parsed->keyIndex);
            step != JournalStep::Ready) {
            result.outcome = OutcomeOf(step);
            result.journalProblem = JournalStepText(port, step, parsed->keyIndex);
            break;
        }
        const WriteOutcome written =
            ImportWriteLine(port.link, parsed->keyIndex, parsed->code.data(),
                            static_cast<uint32_t>(parsed->code.size()), port.timing, port.checks);
        line.state = StateOf(written.result);
        line.status = written.status;
        if (written.Written()) {
            JournalAfter(port, parsed->keyIndex, parsed->code);
        }
        observer.OnLine(line);
        if (line.state == State::NotAcknowledged) {
            result.outcome = JobOutcome::NotAcknowledged;
        } else if (line.state == State::Damaged) {
            result.outcome = JobOutcome::Damaged;
        } else {
            observer.OnProgress(static_cast<int32_t>(i + 1), total);
        }
    }
    // Bytes that came after the last acknowledgement was taken have the
    // last line written again.
    (void)SettleExchanges(port.link, port.checks);
    for (const LineResult& line : result.lines) {
        Count(result.counts, line);
    }
    return result;
}
