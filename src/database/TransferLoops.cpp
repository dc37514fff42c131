#include "TransferLoops.h"

#include "DatabaseFormat.h"
#include "ModuleOperations.h"
#include "Reply.h"

bool ExportKeys(CSerialLink& link, ILineSink& file, const std::atomic<int32_t>& running,
                ITransferView& view, const ExchangeTiming& timing) {
    view.SetProgressRange(0, EXPORT_LAST_SLOT);
    view.SetProgressPos(0);
    for (uint16_t slot = EXPORT_FIRST_SLOT; slot <= EXPORT_LAST_SLOT; ++slot) {
        if (running.load() == 0) {
            return false;
        }
        const ExchangeReply reply = ExportReadSlot(link, slot, timing);
        view.SlotRead(slot, reply.count);
        if (reply.count == STATUS_REPLY_SIZE) {
            // An empty slot; the status reply's content is not looked at.
            view.TransferProgress(slot);
            continue;
        }
        if (reply.count == 0) {
            view.TransferProgress(0);
            return false;
        }
        if (!file.WriteString(FormatDatabaseLine(slot, reply.bytes.data(), reply.count))) {
            return false;
        }
        view.TransferProgress(slot);
    }
    return true;
}

bool ImportKeys(CSerialLink& link, const std::vector<std::string>& lines,
                const std::atomic<int32_t>& running, ITransferView& view,
                const ExchangeTiming& timing) {
    const auto count = static_cast<int32_t>(lines.size());
    view.SetProgressRange(0, count);
    view.SetProgressPos(0);
    view.SetLogText("Start write");
    for (size_t i = 0; i < lines.size(); ++i) {
        if (running.load() == 0) {
            return false;
        }
        const auto line = ParseDatabaseLine(lines[i]);
        if (!line) {
            view.TransferProgress(0);
            view.FileFormatWrong(i);
            continue;
        }
        const bool acknowledged = ImportWriteLine(link, line->keyIndex, line->code.data(),
                                                  static_cast<uint32_t>(line->code.size()), timing);
        view.LineWritten(i, *line, acknowledged);
        if (!acknowledged) {
            return false;
        }
        view.TransferProgress(static_cast<int32_t>(i + 1));
    }
    return true;
}
