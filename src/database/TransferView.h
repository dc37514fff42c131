#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DatabaseLine;

// What a transfer shows while it runs. The window draws it on its progress
// bar, log field and button; the command line on the terminal. Every call
// comes from the transfer's own thread and returns once it has been shown.
class ITransferView {
public:
    virtual ~ITransferView() = default;

    virtual void SetProgressRange(int32_t lower, int32_t upper) = 0;
    virtual void SetProgressPos(int32_t position) = 0;
    // The progress report sent once per slot or line (0 after a failure).
    virtual void TransferProgress(int32_t position) = 0;
    // Replaces the whole log text.
    virtual void SetLogText(const std::string& text) = 0;
    // The caption of the transfer's button.
    virtual void SetCaption(const std::string& text) = 0;
    // "File format wrong" for the line at lineIndex (from 0); returns once
    // the operator has seen it.
    virtual void FileFormatWrong(size_t lineIndex) = 0;

    // What happened to each slot or line, for front ends that report it item
    // by item; the window has no use for them.
    virtual void SlotRead(uint16_t slot, uint32_t replyBytes) {
        (void)slot;
        (void)replyBytes;
    }
    virtual void LineWritten(size_t lineIndex, const DatabaseLine& line, bool acknowledged) {
        (void)lineIndex;
        (void)line;
        (void)acknowledged;
    }
};
