#pragma once

#include <QString>

#include <cstdint>

// A field's text read as a signed decimal integer the way GetDlgItemInt reads
// it: leading blanks skipped, an optional minus sign, digits to the end. Empty,
// unreadable or out-of-range text gives 0.
int32_t SignedFieldValue(const QString& text);
