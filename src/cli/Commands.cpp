#include "Commands.h"

#include "CommandFrame.h"
#include "DatabaseFile.h"
#include "DatabaseFormat.h"
#include "ExitStatus.h"
#include "ExportFile.h"
#include "FileChecks.h"
#include "ModuleOperations.h"
#include "Options.h"
#include "Reply.h"
#include "TransferLoops.h"
#include "TransferView.h"

#include <map>
#include <optional>

namespace {

// The view the transfer loops report to: the progress row, and what
// happened to each slot or line for the report.
class CTransferRecorder : public ITransferView {
public:
    CTransferRecorder(CProgressRow& row, std::string task, std::string unit)
        : m_row(row), m_task(std::move(task)), m_unit(std::move(unit)) {}

    void SetProgressRange(int32_t, int32_t upper) override { m_row.Begin(m_task, m_unit, upper); }
    void SetProgressPos(int32_t position) override { m_row.Update(position); }
    void TransferProgress(int32_t position) override {
        if (position > 0) {
            m_row.Update(position);
        }
    }
    void SetLogText(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void FileFormatWrong(size_t lineIndex) override { malformed.push_back(lineIndex); }
    void SlotRead(uint16_t slot, uint32_t replyBytes) override {
        slots.emplace_back(slot, replyBytes);
    }
    void LineWritten(size_t lineIndex, const DatabaseLine&, bool acknowledged) override {
        written.emplace_back(lineIndex, acknowledged);
    }

    std::vector<std::pair<uint16_t, uint32_t>> slots;
    std::vector<size_t> malformed;
    std::vector<std::pair<size_t, bool>> written;

private:
    CProgressRow& m_row;
    std::string m_task;
    std::string m_unit;
};

uint16_t SlotOf(const CliOptions& o) {
    return o.slot > 0 ? static_cast<uint16_t>(o.slot) : KeyIndex(o.channel, o.key);
}

std::string Trimmed(std::string hexGroups) {
    if (!hexGroups.empty()) {
        hexGroups.pop_back();
    }
    return hexGroups;
}

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// What a module's slot held when it was read.
struct ModuleSlot {
    uint32_t replyBytes = 0;
    std::vector<uint8_t> code; // empty for an empty slot
};

} // namespace

std::string FileForPort(const std::string& file, const std::string& port) {
    std::string path = file;
    for (size_t at = path.find("{port}"); at != std::string::npos; at = path.find("{port}", at)) {
        path.replace(at, 6, port);
        at += port.size();
    }
    return path;
}

void RunVersion(CPortSession& session, CPortReport& report) {
    if (!session.Open(report)) {
        return;
    }
    const VersionOutcome outcome = GetVersion(session.Link(), session.Timing());
    if (outcome.ok) {
        report.Say(outcome.text);
        report.fields["version"] = outcome.text;
    } else {
        report.Say("Get Fail");
        report.fields["outcome"] = "Get Fail";
        report.Status(session.FailureStatus());
    }
}

void RunRead(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = SlotOf(o);
    report.fields["slot"] = slot;
    if (!session.Open(report)) {
        return;
    }
    const ExchangeReply reply = ReadKey(session.Link(), slot, session.Timing());
    const std::string groups = HexGroups(reply.bytes.data(), reply.count);
    report.fields["bytes"] = reply.count;
    if (reply.count > 0) {
        report.fields["reply"] = Trimmed(groups);
    }
    if (reply.count == 0) {
        report.Say("Communication fail!");
        report.fields["outcome"] = "Communication fail!";
        report.Status(EXIT_NO_REPLY);
    } else if (reply.count == STATUS_REPLY_SIZE) {
        const uint8_t status = StatusByte(reply.bytes.data(), reply.count);
        const std::string text = status == 1 ? std::string("Key empty!")
                                             : "Status reply " + Trimmed(groups) + " (status " +
                                                   std::to_string(status) + ")";
        report.Say(text);
        report.fields["status"] = status;
        report.fields["outcome"] = text;
        report.Status(EXIT_OUTCOME);
    } else if (reply.count < STATUS_REPLY_SIZE) {
        report.Say(o.raw ? groups : "Incomplete reply " + Trimmed(groups));
        report.fields["outcome"] = "incomplete reply";
        report.Status(EXIT_OUTCOME);
    } else {
        const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
        const std::string pairs = HexPairs(code.data, code.size);
        // --raw: the whole reply, header and CRC included, as the window's log.
        report.Say(o.raw ? groups : pairs);
        report.fields["code"] = pairs;
    }
}

void RunSend(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = KeyIndex(o.channel, o.key);
    report.fields["slot"] = slot;
    if (!session.Open(report)) {
        return;
    }
    const SendOutcome outcome =
        SendKey(session.Link(), slot, ChannelMask(o.channel), session.Timing());
    report.Say(SendOutcomeText(outcome));
    report.fields["outcome"] = SendOutcomeText(outcome);
    if (outcome == SendOutcome::KeyEmpty) {
        report.Status(EXIT_OUTCOME);
    } else if (outcome == SendOutcome::CommunicationFail) {
        report.Status(session.FailureStatus());
    }
}

void RunLearn(CPortSession& session, CPortReport& report) {
    const CliOptions& o = session.Context().options;
    const uint16_t slot = KeyIndex(o.channel, o.key);
    report.fields["slot"] = slot;
    if (!session.Open(report)) {
        return;
    }
    StartLearn(session.Link(), slot);
    const LearnOutcome outcome =
        AwaitLearnAnswer(session.Link(), session.Timing(), &session.Running());
    if (outcome.state == CLearnAnswer::State::Pending) {
        report.Say("Learn interrupted");
        report.fields["outcome"] = "interrupted";
        report.Status(EXIT_INTERRUPTED);
        return;
    }
    const std::string text = LearnOutcomeText(outcome);
    report.Say(text);
    report.fields["outcome"] = text;
    if (outcome.state == CLearnAnswer::State::Answered) {
        report.fields["status"] = outcome.status;
        if (outcome.status != 0) {
            report.Status(EXIT_OUTCOME);
        }
    } else {
        report.Status(session.FailureStatus());
    }
}

void RunExport(CPortSession& session, const std::string& path, CPortReport& report) {
    report.fields["file"] = path;
    if (!session.Open(report)) {
        return;
    }
    CExportFile file(path);
    std::string why;
    if (!file.Open(&why)) {
        report.Fail(EXIT_USAGE, why);
        report.fields["error"] = why;
        return;
    }
    CTransferRecorder view(session.Progress(), "export", "slots");
    const bool complete =
        ExportKeys(session.Link(), file, session.Running(), view, session.Timing());

    int codes = 0, empty = 0;
    std::optional<uint16_t> silentSlot;
    for (const auto& [slot, bytes] : view.slots) {
        if (bytes == 0) {
            silentSlot = slot;
        } else if (bytes == STATUS_REPLY_SIZE) {
            ++empty;
        } else {
            ++codes;
        }
    }
    const int read = codes + empty;
    report.fields["slots"] = read;
    report.fields["codes"] = codes;
    report.fields["empty"] = empty;
    const std::string counts = std::to_string(read) + " slots read, " + std::to_string(codes) +
                               " with codes, " + std::to_string(empty) + " empty";
    if (complete && file.Commit(&why)) {
        report.fields["complete"] = true;
        report.Say("Export ok: " + counts + ", written to " + path);
        session.Progress().End("ok");
        return;
    }
    report.fields["complete"] = false;
    if (complete) { // all read, but the file could not be put in place
        report.Fail(EXIT_USAGE, why);
        report.fields["error"] = why;
        report.fields["partial"] = file.PartialPath();
        report.Say("Export fail: " + counts + "; " + why);
        session.Progress().End("fail");
        return;
    }
    file.Keep();
    report.fields["partial"] = file.PartialPath();
    const std::string kept = path + " is unchanged, the slots read are in " + file.PartialPath();
    if (silentSlot) {
        report.Status(session.FailureStatus());
        report.fields["noReplyAt"] = *silentSlot;
        report.Say("Export fail: no reply at slot " + std::to_string(*silentSlot) + " (" + counts +
                   "); " + kept);
        session.Progress().End("no reply");
    } else if (session.Running().load() == 0) {
        report.Status(EXIT_INTERRUPTED);
        report.Say("Export interrupted (" + counts + "); " + kept);
        session.Progress().End("interrupted");
    } else {
        why = "cannot write " + file.PartialPath();
        report.Fail(EXIT_USAGE, why);
        report.fields["error"] = why;
        report.Say("Export fail: " + why + " (" + counts + "); " + path + " is unchanged");
        session.Progress().End("fail");
    }
}

bool ExportToMemory(CPortSession& session, std::string& text, CPortReport& report) {
    CMemoryLineSink memory;
    CTransferRecorder view(session.Progress(), "export", "slots");
    const bool complete =
        ExportKeys(session.Link(), memory, session.Running(), view, session.Timing());
    text = memory.Text();
    int codes = 0, empty = 0;
    for (const auto& [slot, bytes] : view.slots) {
        if (bytes == STATUS_REPLY_SIZE) {
            ++empty;
        } else if (bytes != 0) {
            ++codes;
        }
    }
    report.fields["codes"] = codes;
    report.fields["empty"] = empty;
    if (complete) {
        report.Say("exported: " + std::to_string(codes) + " slots with codes, " +
                   std::to_string(empty) + " empty");
        session.Progress().End("ok");
        return true;
    }
    if (session.Running().load() == 0) {
        report.Status(EXIT_INTERRUPTED);
        report.Say("export interrupted");
        session.Progress().End("interrupted");
    } else {
        report.Status(session.FailureStatus());
        report.Say("export fail: no reply at slot " +
                   std::to_string(view.slots.empty() ? 0 : view.slots.back().first));
        session.Progress().End("no reply");
    }
    return false;
}

// The file's lines, read before the port is opened: a file that cannot be
// read is a usage error and the module is never touched.
static bool ReadLinesThenOpen(CPortSession& session, const std::string& path, CPortReport& report,
                              std::vector<std::string>& lines) {
    report.fields["file"] = path;
    return ReadLines(path, lines, report) && session.Open(report);
}

void RunImport(CPortSession& session, const std::string& path, CPortReport& report) {
    std::vector<std::string> lines;
    if (ReadLinesThenOpen(session, path, report, lines)) {
        ImportLines(session, lines, report, true);
    }
}

bool ImportLines(CPortSession& session, const std::vector<std::string>& lines, CPortReport& report,
                 bool eachLine) {
    CTransferRecorder view(session.Progress(), "import", "lines");
    const bool complete =
        ImportKeys(session.Link(), lines, session.Running(), view, session.Timing());

    enum class Result { NotSent, Ok, Malformed, NotAcknowledged };
    std::vector<Result> results(lines.size(), Result::NotSent);
    for (const size_t i : view.malformed) {
        results[i] = Result::Malformed;
    }
    for (const auto& [i, acknowledged] : view.written) {
        results[i] = acknowledged ? Result::Ok : Result::NotAcknowledged;
    }

    int ok = 0, malformed = 0, refused = 0, notSent = 0;
    Json perLine = Json::array();
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineCheck check = CheckDatabaseLine(lines[i]);
        const std::string head = "line " + std::to_string(i + 1) + ": ";
        Json entry{{"line", i + 1}};
        std::string what;
        if (check.parsed) {
            entry["slot"] = check.parsed->keyIndex;
            entry["bytes"] = check.parsed->code.size();
            what = "slot " + std::to_string(check.parsed->keyIndex) + ", " +
                   Bytes(check.parsed->code.size()) + ": ";
        }
        switch (results[i]) {
        case Result::NotSent:
            ++notSent;
            entry["result"] = "not sent";
            break;
        case Result::Ok:
            ++ok;
            entry["result"] = "ok";
            what += "ok";
            if (const std::string stop = check.StopText(); !stop.empty()) {
                what += " (" + stop + ")";
                entry["warning"] = stop;
            }
            if (eachLine) {
                report.Say(head + what);
            }
            break;
        case Result::Malformed:
            ++malformed;
            entry["result"] = "File format wrong";
            entry["reason"] = check.reason;
            if (eachLine) {
                report.Say(head + "File format wrong (" + check.reason + ")");
            }
            break;
        case Result::NotAcknowledged:
            ++refused;
            entry["result"] = "not acknowledged";
            if (eachLine) {
                report.Say(head + what + "not acknowledged");
            }
            break;
        }
        perLine.push_back(std::move(entry));
    }
    report.fields["lines"] = std::move(perLine);
    report.fields["written"] = ok;
    report.fields["malformed"] = malformed;
    report.fields["notAcknowledged"] = refused;
    report.fields["notSent"] = notSent;

    if (refused > 0) {
        report.Status(session.FailureStatus());
    } else if (!complete && session.Running().load() == 0) {
        report.Status(EXIT_INTERRUPTED);
    }
    if (malformed > 0) {
        report.Status(EXIT_OUTCOME);
    }

    const bool success = complete && malformed == 0;
    std::string summary = std::string(success    ? "Import ok: "
                                      : complete ? "Import done with errors: "
                                                 : "Import fail: ") +
                          std::to_string(lines.size()) + " lines, " + std::to_string(ok) +
                          " written";
    if (malformed > 0) {
        summary += ", " + std::to_string(malformed) + " File format wrong (skipped)";
    }
    if (refused > 0) {
        summary += ", " + std::to_string(refused) + " not acknowledged";
    }
    if (notSent > 0) {
        summary += ", " + std::to_string(notSent) +
                   (refused > 0 ? " not sent after it" : " not sent (interrupted)");
    }
    report.Say(summary);
    session.Progress().End(success ? "ok" : complete ? "errors" : "fail");
    return complete;
}

void RunVerify(CPortSession& session, const std::string& path, CPortReport& report) {
    std::vector<std::string> lines;
    if (ReadLinesThenOpen(session, path, report, lines)) {
        VerifyLines(session, lines, session.Context().options.exact, report);
    }
}

bool VerifyLines(CPortSession& session, const std::vector<std::string>& lines, bool exact,
                 CPortReport& report) {
    const SlotContent wanted = SlotsOfLines(lines);
    for (const auto& [line, reason] : wanted.malformed) {
        report.Say("line " + std::to_string(line) + ": File format wrong (" + reason + ")");
        report.Status(EXIT_OUTCOME);
    }

    // The module's slots: with --exact all of them, read as an export reads
    // them, and any the file names beyond; otherwise only those the file names.
    std::map<uint16_t, ModuleSlot> module;
    std::vector<uint16_t> toRead;
    bool answered = true;
    if (exact) {
        CMemoryLineSink memory;
        CTransferRecorder view(session.Progress(), "verify", "slots");
        answered = ExportKeys(session.Link(), memory, session.Running(), view, session.Timing());
        const SlotContent held = SlotsOfLines(SplitDatabaseText(memory.Text()));
        for (const auto& [slot, bytes] : view.slots) {
            module[slot].replyBytes = bytes;
        }
        for (const auto& [slot, code] : held.codes) {
            module[slot].code = code;
        }
        for (const auto& [slot, code] : wanted.codes) {
            if (slot < EXPORT_FIRST_SLOT || slot > EXPORT_LAST_SLOT) {
                toRead.push_back(slot);
            }
        }
    } else {
        for (const auto& [slot, code] : wanted.codes) {
            toRead.push_back(slot);
        }
        session.Progress().Begin("verify", "slots", static_cast<int32_t>(toRead.size()));
    }
    int32_t done = 0;
    for (const uint16_t slot : toRead) {
        if (!answered || session.Running().load() == 0) {
            answered = false;
            break;
        }
        const ExchangeReply reply = ExportReadSlot(session.Link(), slot, session.Timing());
        ModuleSlot& m = module[slot];
        m.replyBytes = reply.count;
        if (reply.count == 0) {
            answered = false;
            break;
        }
        if (reply.count != STATUS_REPLY_SIZE) {
            const CodeSpan code = CodeBytes(reply.bytes.data(), reply.count);
            m.code.assign(code.data, code.data + code.size);
        }
        session.Progress().Update(++done);
    }

    Json differences = Json::array();
    int compared = 0;
    auto differ = [&](uint16_t slot, const std::string& kind, const std::string& text,
                      size_t moduleBytes, size_t fileBytes) {
        report.Say("slot " + std::to_string(slot) + ": " + text);
        differences.push_back(
            {{"slot", slot}, {"kind", kind}, {"module", moduleBytes}, {"file", fileBytes}});
    };
    for (const auto& [slot, code] : wanted.codes) {
        const auto found = module.find(slot);
        if (found == module.end() || found->second.replyBytes == 0) {
            continue; // not read: the run ended first
        }
        ++compared;
        const ModuleSlot& m = found->second;
        if (m.replyBytes < STATUS_REPLY_SIZE) {
            differ(slot, "incomplete reply", "incomplete reply (" + Bytes(m.replyBytes) + ")",
                   m.replyBytes, code.size());
        } else if (m.code == code) {
            continue;
        } else if (m.code.empty()) {
            differ(slot, "empty on the module",
                   "empty on the module, the file has " + Bytes(code.size()), 0, code.size());
        } else if (code.empty()) {
            differ(slot, "not empty",
                   "the module holds " + Bytes(m.code.size()) + ", the file has it empty",
                   m.code.size(), 0);
        } else {
            differ(slot, "different",
                   "different code (module " + Bytes(m.code.size()) + ", file " +
                       Bytes(code.size()) + ")",
                   m.code.size(), code.size());
        }
    }
    int others = 0;
    if (exact) {
        for (const auto& [slot, m] : module) {
            if (wanted.codes.count(slot) == 0 && !m.code.empty()) {
                ++others;
                differ(slot, "not in the file",
                       "the module holds " + Bytes(m.code.size()) + ", not in the file",
                       m.code.size(), 0);
            }
        }
    }
    report.fields["compared"] = compared;
    report.fields["differences"] = differences;

    const size_t count = differences.size();
    if (count > 0) {
        report.Status(EXIT_OUTCOME);
    }
    if (!answered) {
        const bool interrupted = session.Running().load() == 0;
        report.Status(interrupted ? EXIT_INTERRUPTED : session.FailureStatus());
        report.Say(std::string(interrupted ? "Verify interrupted" : "Verify fail: no reply") +
                   " after " + std::to_string(compared) + " slots compared, " +
                   std::to_string(count) + " differ");
        session.Progress().End(interrupted ? "interrupted" : "no reply");
        return false;
    }
    if (count == 0 && wanted.malformed.empty()) {
        report.Say("Verify ok: " + std::to_string(compared) + " slots match" +
                   (exact ? ", every other slot empty" : ""));
        session.Progress().End("ok");
        return true;
    }
    report.Say("Verify fail: " + std::to_string(count) + " of " +
               std::to_string(compared + others) + " slots differ" +
               (wanted.malformed.empty()
                    ? std::string()
                    : ", " + std::to_string(wanted.malformed.size()) + " lines malformed"));
    session.Progress().End("differs");
    return false;
}
