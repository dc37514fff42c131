// lumaret-demo: one exchange of each kind against a module, through the
// protocol layer, printing what came back.

#include "ComName.h"
#include "DatabaseFormat.h"
#include "DemoRemote.h"
#include "ModuleOperations.h"
#include "Reply.h"
#include "RuntimeDir.h"
#include "SerialLink.h"
#include "SimulatedModule.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const USAGE = R"(Usage: lumaret-demo [--port COMn]
Runs get version, read a key, send a key, a learn, an export read and an import
write against a module and prints each outcome. Without --port it starts its own
simulated module on a private port directory, and then learns a three-key
remote whose keys it presses itself in a simulated room. Exits 0 only when
every exchange came back as expected.
)";

std::string LineText(uint16_t slot, const ExchangeReply& reply) {
    std::string line = FormatDatabaseLine(slot, reply.bytes.data(), reply.count);
    line.pop_back(); // the CR
    return line;
}

class Checker {
public:
    void Report(const char* what, bool expected, const std::string& outcome) {
        std::printf("%-28s %s%s\n", what, outcome.c_str(), expected ? "" : "  <-- not as expected");
        std::fflush(stdout);
        m_allExpected = m_allExpected && expected;
    }
    bool AllExpected() const { return m_allExpected; }

private:
    bool m_allExpected = true;
};

// The exchanges; module is the in-process simulator when there is one, so
// that the outcomes can be held against what it really stores.
bool RunExchanges(CSerialLink& link, const SimulatedModule* module) {
    const ExchangeTiming& timing = FixedTiming();
    Checker check;

    const VersionOutcome version = GetVersion(link, timing);
    check.Report("Get version:", version.ok && (!module || version.text == "102.003"),
                 version.ok ? version.text : GET_FAIL_TEXT);

    const uint16_t readIndex = KeyIndex(2, 5);
    const ExchangeReply read = ReadKey(link, readIndex, timing);
    bool readExpected = read.count != 0;
    std::string readText =
        read.count == 0 ? COMMUNICATION_FAIL_TEXT : HexGroups(read.bytes.data(), read.count);
    if (ClassifyReply(read.count) == ReplyKind::Status) {
        readText =
            StatusByte(read.bytes.data(), read.count) == 1 ? KEY_EMPTY_TEXT : "(status reply)";
    }
    if (module) {
        const CodeSpan code = CodeBytes(read.bytes.data(), read.count);
        const auto stored = module->Slot(readIndex);
        readExpected = ClassifyReply(read.count) == ReplyKind::Code &&
                       std::equal(stored.begin(), stored.end(), code.data, code.data + code.size);
    }
    check.Report("Read key, channel 2 key 5:", readExpected, readText);

    const SendOutcome sent = SendKey(link, readIndex, ChannelMask(2), timing);
    check.Report("Send key, channel 2 key 5:",
                 module ? sent == SendOutcome::Ok : sent != SendOutcome::CommunicationFail,
                 SendOutcomeText(sent));

    const uint16_t learnIndex = KeyIndex(2, 6);
    StartLearn(link, learnIndex);
    const LearnOutcome learned = AwaitLearnAnswer(link, timing);
    const bool answered = learned.state == CLearnAnswer::State::Answered;
    check.Report("Learn key, channel 2 key 6:", module ? answered && learned.status == 0 : answered,
                 std::string(LearnOutcomeText(learned)) + " (" + std::to_string(learned.polls) +
                     " polls)");

    const ExchangeReply exported = ExportReadSlot(link, learnIndex, timing);
    const ReplyKind exportedKind = ClassifyReply(exported.count);
    bool exportExpected = exported.count != 0;
    if (module) {
        const CodeSpan code = CodeBytes(exported.bytes.data(), exported.count);
        const auto stored = module->Slot(learnIndex);
        exportExpected = exportedKind == ReplyKind::Code && !stored.empty() &&
                         std::equal(stored.begin(), stored.end(), code.data, code.data + code.size);
    }
    check.Report("Export read, slot 106:", exportExpected,
                 exported.count == 0                 ? "no reply"
                 : exportedKind == ReplyKind::Status ? "empty slot"
                                                     : LineText(learnIndex, exported));

    const uint16_t importIndex = 107;
    const std::vector<uint8_t> importCode{0x01, 0x02, 0x03, 0xA1, 0xB2, 0xC3};
    const bool acknowledged = ImportWriteLine(link, importIndex, importCode.data(),
                                              static_cast<uint32_t>(importCode.size()), timing)
                                  .Written();
    check.Report("Import write, 0107,010203A1B2C3:", acknowledged,
                 acknowledged ? "acknowledged" : "not acknowledged");

    // Read the slot back: the write must have stored exactly the line's code.
    const ExchangeReply back = ExportReadSlot(link, importIndex, timing);
    const CodeSpan backCode = CodeBytes(back.bytes.data(), back.count);
    const bool backExpected = ClassifyReply(back.count) == ReplyKind::Code &&
                              std::equal(importCode.begin(), importCode.end(), backCode.data,
                                         backCode.data + backCode.size);
    check.Report("Export read, slot 107:", backExpected,
                 back.count == 0 ? "no reply" : LineText(importIndex, back));

    return check.AllExpected();
}

} // namespace

int main(int argc, char** argv) {
    unsigned port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            if (const auto number = ParseComNumber(argv[i + 1])) {
                port = *number;
                ++i;
                continue;
            }
        }
        std::fputs(USAGE, stderr);
        return 2;
    }

    // A port directory of our own, so the demo never takes or shadows a real COM9.
    std::optional<PrivateRuntimeDir> privateDir;
    SimulatedModule module;
    if (port == 0) {
        privateDir.emplace("lumaret-demo");
        port = 9;
        if (!privateDir->Valid() || !module.Start() || !module.Publish("COM9")) {
            std::fputs("lumaret-demo: cannot start the simulated module\n", stderr);
            return 1;
        }
        std::printf("Simulated module on %s, published as COM9\n", module.SlavePath().c_str());
    }

    bool ok = false;
    {
        CSerialLink link;
        if (!link.Open(static_cast<uint8_t>(port), 9600, 'N', 8, 0)) {
            std::fprintf(stderr, "lumaret-demo: cannot open COM%u\n", port);
        } else {
            std::printf("Opened COM%u at 9600 8N1\n", port);
            ok = RunExchanges(link, module.IsRunning() ? &module : nullptr);
            if (module.IsRunning()) {
                ok = LearnDemoRemote(link, module, privateDir->Path().string()) && ok;
            }
            link.Close();
        }
    }
    module.Stop();
    std::puts(ok ? "All exchanges came back as expected."
                 : "Some exchanges did not come back as expected.");
    return ok ? 0 : 1;
}
