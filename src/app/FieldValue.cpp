#include "FieldValue.h"

#include <limits>

int32_t SignedFieldValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && text.at(i) == QLatin1Char('-')) {
        negative = true;
        ++i;
    }
    if (i == text.size()) {
        return 0;
    }
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return 0;
        }
        value = value * 10 + (c.unicode() - '0');
        if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) {
            return 0;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    return static_cast<int32_t>(value);
}
