#include "SlotGrid.h"

#include "ModuleLimits.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <array>

namespace {

constexpr int CELL = 14;       // a cell with its one-pixel spacing
constexpr int GROUP_GAP = 5;   // after every ten keys
constexpr int CHANNEL_GAP = 8; // between the blocks of two channels
constexpr int LABEL_WIDTH = 52;
constexpr int MARGIN = 4;
constexpr int ROW_KEYS = 50;
constexpr int GROUP_KEYS = 10;
constexpr int CHANNEL_ROWS = 2 * MAX_CHANNEL; // the rows of slots 1-400
constexpr int ROWS = CHANNEL_ROWS + 1;        // and the row of 401-448
constexpr int KEYED_SLOTS = MAX_CHANNEL * MAX_KEY_NUMBER;

int RowTop(int row) {
    return MARGIN + row * CELL + (row / 2) * CHANNEL_GAP;
}

int ColumnLeft(int column) {
    return LABEL_WIDTH + column * CELL + (column / GROUP_KEYS) * GROUP_GAP;
}

// The row and column of a slot's cell.
std::pair<int, int> PlaceOf(uint16_t slot) {
    if (slot > KEYED_SLOTS) {
        return {CHANNEL_ROWS, slot - KEYED_SLOTS - 1};
    }
    const int index = slot - 1;
    return {index / ROW_KEYS, index % ROW_KEYS};
}

// The slot at a row and column, 0 for none.
uint16_t SlotOf(int row, int column) {
    if (row < 0 || row >= ROWS || column < 0 || column >= ROW_KEYS) {
        return 0;
    }
    const int slot = row * ROW_KEYS + column + 1;
    return slot <= LAST_SLOT ? static_cast<uint16_t>(slot) : 0;
}

QString RowLabel(int row) {
    if (row == CHANNEL_ROWS) {
        return QString::number(KEYED_SLOTS + 1);
    }
    return QStringLiteral("%1/%2").arg(row / 2 + 1).arg((row % 2) * ROW_KEYS + 1);
}

bool HoldsCode(SlotState state) {
    return state != SlotState::Empty && state != SlotState::Unread;
}

} // namespace

QColor StateColour(SlotState state) {
    static const std::array<QColor, SLOT_STATE_COUNT> colours{
        QColor(0xc8, 0xc8, 0xc8), QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
        QColor(0xd6, 0x27, 0x28), QColor(0xe6, 0x9f, 0x00), QColor(0x94, 0x3c, 0xc8),
        QColor(0xf0, 0xf0, 0xf0)};
    return colours[static_cast<size_t>(state)];
}

QString CellSummary(const SlotCell& cell) {
    QString text = QStringLiteral("Slot %1").arg(cell.slot);
    if (SlotChannel(cell.slot) != 0) {
        text += QStringLiteral(", %1/%2").arg(SlotChannel(cell.slot)).arg(SlotKey(cell.slot));
    }
    text += QStringLiteral(": ") + QString::fromStdString(SlotStateText(cell.state));
    if (HoldsCode(cell.state)) {
        const size_t bytes = cell.Bytes();
        text += QStringLiteral(", %1 byte%2").arg(bytes).arg(bytes == 1 ? "" : "s");
        if (cell.state == SlotState::Differs) {
            text += QStringLiteral(" (file: %1 byte%2)")
                        .arg(cell.fileBytes)
                        .arg(cell.fileBytes == 1 ? "" : "s");
        }
    }
    if (!cell.name.empty()) {
        text += QStringLiteral(", ") + QString::fromStdString(cell.name);
    }
    return text;
}

CSlotGrid::CSlotGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("IDC_SLOT_GRID"));
    setAccessibleName(QStringLiteral("Slot map"));
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
    SetCurrent(1);
}

QSize CSlotGrid::sizeHint() const {
    return {ColumnLeft(ROW_KEYS - 1) + CELL + MARGIN, RowTop(ROWS - 1) + CELL + MARGIN};
}

void CSlotGrid::SetMap(const SlotMap& map) {
    m_map = map;
    SetCurrent(m_current);
    update();
}

QRect CSlotGrid::CellRect(uint16_t slot) const {
    const auto [row, column] = PlaceOf(slot);
    return {ColumnLeft(column), RowTop(row), CELL - 1, CELL - 1};
}

uint16_t CSlotGrid::SlotAt(const QPoint& point) const {
    for (int row = 0; row < ROWS; ++row) {
        if (point.y() >= RowTop(row) && point.y() < RowTop(row) + CELL) {
            for (int column = 0; column < ROW_KEYS; ++column) {
                if (point.x() >= ColumnLeft(column) && point.x() < ColumnLeft(column) + CELL) {
                    return SlotOf(row, column);
                }
            }
        }
    }
    return 0;
}

bool CSlotGrid::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const uint16_t slot = SlotAt(help->pos());
        if (slot == 0) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), CellSummary(m_map.Cell(slot)), this,
                               CellRect(slot));
        }
        return true;
    }
    return QWidget::event(event);
}

void CSlotGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int row = 0; row < ROWS; ++row) {
        painter.drawText(QRect(0, RowTop(row), LABEL_WIDTH - MARGIN, CELL),
                         Qt::AlignRight | Qt::AlignVCenter, RowLabel(row));
    }
    for (const SlotCell& cell : m_map.cells) {
        const QRect box = CellRect(cell.slot);
        const QColor colour = StateColour(cell.state);
        painter.fillRect(box, HoldsCode(cell.state) ? colour.lighter(170) : colour);
        if (HoldsCode(cell.state)) {
            const int height = box.height() * CodeLevel(cell.Bytes()) / CODE_LEVELS;
            painter.fillRect(box.adjusted(0, box.height() - height, 0, 0), colour);
        }
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(CellRect(m_current).adjusted(-1, -1, 1, 1));
    }
}

void CSlotGrid::keyPressEvent(QKeyEvent* event) {
    const auto [row, column] = PlaceOf(m_current);
    uint16_t next = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        next = m_current > FIRST_SLOT ? m_current - 1 : m_current;
        break;
    case Qt::Key_Right:
        next = m_current < LAST_SLOT ? m_current + 1 : m_current;
        break;
    case Qt::Key_Up:
        next = SlotOf(row - 1, column);
        break;
    case Qt::Key_Down:
        // The last row is shorter: its last cell is the nearest.
        next =
            SlotOf(row + 1, row + 1 == CHANNEL_ROWS ? std::min(column, LAST_SLOT - KEYED_SLOTS - 1)
                                                    : column);
        break;
    case Qt::Key_Home:
        next = FIRST_SLOT;
        break;
    case Qt::Key_End:
        next = LAST_SLOT;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (next != 0) {
        SetCurrent(next);
    }
}

void CSlotGrid::mousePressEvent(QMouseEvent* event) {
    if (const uint16_t slot = SlotAt(event->position().toPoint()); slot != 0) {
        SetCurrent(slot);
    }
    QWidget::mousePressEvent(event);
}

void CSlotGrid::SetCurrent(uint16_t slot) {
    m_current = slot;
    const QString summary = CellSummary(m_map.Cell(slot));
    setAccessibleDescription(summary);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    update();
    emit CurrentChanged(slot);
}
