#include "VerifyJob.h"

#include "Reply.h"

#include <map>
#include <optional>

namespace {

using Kind = SlotDifference::Kind;

std::vector<uint16_t> SlotsToRead(const SlotContent& wanted, bool exact) {
    if (exact) {
        return AllSlots();
    }
    std::vector<uint16_t> slots;
    for (const auto& [slot, code] : wanted.codes) {
        slots.push_back(slot);
    }
    return slots;
}

// The difference between what the module answered for a slot and the
// file's code, if any.
std::optional<SlotDifference> Compare(const SlotResult& module, const std::vector<uint8_t>& code) {
    SlotDifference d{module.slot, Kind::Different, module.code.size(), code.size()};
    if (module.state == SlotResult::State::Code && IsShortCodeReply(module.replyBytes)) {
        d.kind = Kind::IncompleteReply;
        d.moduleBytes = module.replyBytes;
        return d;
    }
    if (module.code == code) {
        return std::nullopt;
    }
    if (module.code.empty()) {
        d.kind = Kind::EmptyOnModule;
    } else if (code.empty()) {
        d.kind = Kind::NotEmpty;
    }
    return d;
}

} // namespace

VerifyResult VerifyModule(const JobPort& port, const std::vector<std::string>& lines, bool exact,
                          IJobObserver& observer) {
    VerifyResult result;
    const SlotContent wanted = SlotsOfLines(lines);
    result.malformed = wanted.malformed;
    const ExportResult read = ReadSlots(port, SlotsToRead(wanted, exact), observer);
    result.outcome = read.outcome;
    result.census = read.census;
    for (const SlotResult& module : read.slotsRead) {
        if (module.state != SlotResult::State::Code && module.state != SlotResult::State::Empty) {
            continue; // not read: the run ended there
        }
        const auto inFile = wanted.codes.find(module.slot);
        if (inFile == wanted.codes.end()) {
            if (!module.code.empty()) {
                result.differences.push_back({module.slot, Kind::NotInFile, module.code.size(), 0});
            }
            continue;
        }
        ++result.compared;
        if (auto difference = Compare(module, inFile->second)) {
            result.differences.push_back(*difference);
        }
    }
    return result;
}

DiffResult DiffFiles(const std::vector<std::string>& linesA,
                     const std::vector<std::string>& linesB) {
    DiffResult result;
    SlotContent a = SlotsOfLines(linesA);
    SlotContent b = SlotsOfLines(linesB);
    result.malformedA = a.malformed;
    result.malformedB = b.malformed;
    for (SlotContent* content : {&a, &b}) {
        std::erase_if(content->codes, [](const auto& slot) { return slot.second.empty(); });
    }
    result.slotsA = a.codes.size();
    std::map<uint16_t, FileDifference> differences;
    for (const auto& [slot, code] : a.codes) {
        differences[slot] = {slot, FileDifference::Side::OnlyA, code.size(), 0};
    }
    for (const auto& [slot, code] : b.codes) {
        const auto inA = differences.find(slot);
        if (inA == differences.end()) {
            differences[slot] = {slot, FileDifference::Side::OnlyB, 0, code.size()};
        } else if (a.codes[slot] == code) {
            differences.erase(inA);
        } else {
            inA->second.side = FileDifference::Side::Different;
            inA->second.bBytes = code.size();
        }
    }
    for (const auto& [slot, difference] : differences) {
        result.differences.push_back(difference);
    }
    return result;
}
