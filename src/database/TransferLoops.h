#pragma once

#include "DatabaseFile.h"
#include "ExchangeTiming.h"
#include "TransferView.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CSerialLink;

// An export reads these slots, 1 to 448, in ascending order.
inline constexpr uint16_t EXPORT_FIRST_SLOT = 1;
inline constexpr uint16_t EXPORT_LAST_SLOT = 448;

// The export loop: every slot read in turn, one database line written for
// each that holds a code. True when all slots were handled; false when
// running dropped to 0 (checked before each slot), when a slot got no reply
// (progress back to 0) or when a line could not be written (no further slot
// is requested).
bool ExportKeys(CSerialLink& link, ILineSink& file, const std::atomic<int32_t>& running,
                ITransferView& view, const ExchangeTiming& timing);

// The import loop: every line written into the slot it names. A malformed
// line is shown and skipped. True unless running dropped to 0 (checked before
// each line) or a line was not acknowledged in its attempts; the lines after
// it are not sent.
bool ImportKeys(CSerialLink& link, const std::vector<std::string>& lines,
                const std::atomic<int32_t>& running, ITransferView& view,
                const ExchangeTiming& timing);
