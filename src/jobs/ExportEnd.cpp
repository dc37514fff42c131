#include "ExportEnd.h"

#include <algorithm>

bool CodesUnchecked(const CReplyChecks& checks) {
    const std::vector<ReplyKind> unchecked = checks.UncheckedKinds();
    return std::find(unchecked.begin(), unchecked.end(), ReplyKind::Code) != unchecked.end();
}

ExportEnd EndExport(CSafeFileWriter& file, bool complete, const ExportEndRule& rule,
                    const ExportMoveRunner& runner) {
    auto run = [&runner](ExportMove move, const std::function<bool()>& step) {
        return runner ? runner(move, step) : step();
    };
    ExportEnd end;
    if (complete || (rule.unfinishedMakesNewFile && !file.TargetExisted())) {
        end.inPlace = run(ExportMove::PutInPlace, [&] { return file.Commit(&end.putProblem); });
        if (end.inPlace || !rule.partialWhenPutFails) {
            return end;
        }
    }
    end.partial =
        run(ExportMove::KeepPartial, [&] { return file.KeepAsPartial(&end.partialProblem); });
    return end;
}
