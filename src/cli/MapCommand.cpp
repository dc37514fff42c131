// map: every slot of a module or of a file as a picture, compared with a
// file and named by a remote map where asked.

#include "Commands.h"

#include "ExitStatus.h"
#include "JobReport.h"
#include "MapPicture.h"
#include "Options.h"
#include "RemoteMap.h"
#include "ShownText.h"
#include "SlotMap.h"

#include <filesystem>

namespace {

// What the map is compared with and named by, read before any port opens.
struct MapInputs {
    SlotContent against;
    RemoteMap names;
};

// A database file's slots; its malformed lines are told and make status 1.
bool ReadSlots(const std::string& path, SlotContent& content, CPortReport& report) {
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, report)) {
        return false;
    }
    content = SlotsOfLines(lines);
    for (const auto& [line, fault] : content.malformed) {
        report.Trouble(path + " line " + std::to_string(line) + ": " + LineFaultText(fault));
        report.Status(EXIT_OUTCOME);
    }
    return true;
}

bool ReadInputs(const CliOptions& options, MapInputs& inputs, CPortReport& report) {
    if (!options.against.empty()) {
        report.fields["against"] = options.against;
        if (!ReadSlots(options.against, inputs.against, report)) {
            return false;
        }
    }
    if (!options.map.empty()) {
        report.fields["map"] = options.map;
        inputs.names = ReadRemoteMap(options.map);
        if (!inputs.names.Ok()) {
            report.Fail(EXIT_USAGE,
                        options.map + ": " + RemoteMapFaultText(inputs.names.faults.front()));
            report.fields["error"] = report.error;
            return false;
        }
    }
    return true;
}

Json SlotsJson(const SlotMap& map) {
    Json slots = Json::array();
    for (const SlotCell& cell : map.cells) {
        const int channel = SlotChannel(cell.slot);
        Json entry{{"slot", cell.slot},
                   {"channel", channel == 0 ? Json() : Json(channel)},
                   {"key", channel == 0 ? Json() : Json(SlotKey(cell.slot))},
                   {"state", SlotStateName(cell.state)},
                   {"bytes", cell.Bytes()}};
        if (!cell.name.empty()) {
            entry["name"] = cell.name;
        }
        slots.push_back(std::move(entry));
    }
    return slots;
}

// The picture and the fields of a map read (source: a file's name, or empty
// for the module), compared and named as asked.
void ReportMap(SlotMap& map, const MapInputs& inputs, const CliOptions& options,
               const std::string& source, CPortReport& report) {
    MapPictureStyle style;
    style.colour = options.colour;
    if (!options.against.empty()) {
        CompareSlotMap(map, inputs.against);
        const std::string against = std::filesystem::path(options.against).filename().string();
        style.onlyInAgainst = "only in " + ShownText(against);
        if (!source.empty()) {
            style.onlyInSource =
                "only in " + ShownText(std::filesystem::path(source).filename().string());
        }
    }
    NameSlots(map, inputs.names);
    report.styled = true;
    for (std::string& line : MapPictureLines(map, style)) {
        report.Say(std::move(line));
    }
    Json counts = Json::object();
    const auto perState = map.Counts();
    for (size_t i = 0; i < SLOT_STATE_COUNT; ++i) {
        if (perState[i] > 0) {
            counts[SlotStateName(static_cast<SlotState>(i))] = perState[i];
        }
    }
    report.fields["counts"] = std::move(counts);
    report.fields["slots"] = SlotsJson(map);
    if (map.HasDifference()) {
        report.Status(EXIT_OUTCOME);
    }
}

} // namespace

void RunMapFile(const CliOptions& options, CPortReport& report) {
    report.fields["file"] = options.file;
    SlotContent file;
    MapInputs inputs;
    if (!ReadSlots(options.file, file, report) || !ReadInputs(options, inputs, report)) {
        return;
    }
    SlotMap map = SlotMapOfFile(file);
    ReportMap(map, inputs, options, options.file, report);
}

void RunMapModule(CPortSession& session, CPortReport& report) {
    const CliOptions& options = session.Context().options;
    MapInputs inputs;
    if (!ReadInputs(options, inputs, report) || !session.Open(report)) {
        return;
    }
    CProgressObserver progress(session.Progress(), "map", "slots");
    SlotMapRead read = ReadSlotMap(session.Job(), progress);
    const int slotsRead = SLOT_COUNT - read.map.Counts()[static_cast<size_t>(SlotState::Unread)];
    if (slotsRead > 0) {
        ReportMap(read.map, inputs, options, {}, report);
    }
    if (read.outcome == JobOutcome::Complete) {
        session.Progress().End("ok");
    } else {
        const bool interrupted = read.outcome == JobOutcome::Cancelled;
        const bool damaged = read.outcome == JobOutcome::Damaged;
        ReportNoReply(session, read.outcome, SlotReadBoundMs(session), report);
        report.Status(StoppedStatus(session, read.outcome));
        const std::string where = interrupted ? std::string()
                                  : damaged   ? ": reply damaged at slot "
                                              : ": no reply at slot ";
        report.Trouble(std::string(interrupted ? "Map interrupted" : "Map fail") + where +
                       (interrupted ? "" : std::to_string(read.failedSlot)) + " after " +
                       std::to_string(slotsRead) + " of " + std::to_string(SLOT_COUNT) +
                       " slots read" + (slotsRead > 0 ? "; the slots not read are drawn ?" : ""));
        session.Progress().End(interrupted ? "interrupted" : damaged ? "damaged" : "no reply");
    }
    ReportReplyChecks(session, report);
}
