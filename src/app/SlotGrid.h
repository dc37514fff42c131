#pragma once

#include "SlotMap.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

// The slot map drawn as cells, as the command line draws it in text: each
// channel two rows of 50 keys, a gap after every ten, then slots 401-448.
// A cell's colour is its state, its fill from the bottom the code's length.
// The arrow keys, Home and End move a current cell, whose summary the
// accessible description carries; each cell's tooltip says the same.
class CSlotGrid : public QWidget {
    Q_OBJECT
public:
    explicit CSlotGrid(QWidget* parent);

    void SetMap(const SlotMap& map);
    const SlotMap& Map() const { return m_map; }
    uint16_t Current() const { return m_current; }
    // Where a slot's cell is drawn, and the slot under a point (0: none).
    QRect CellRect(uint16_t slot) const;
    uint16_t SlotAt(const QPoint& point) const;

    QSize sizeHint() const override;

signals:
    void CurrentChanged(uint16_t slot);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void SetCurrent(uint16_t slot);

    SlotMap m_map;
    uint16_t m_current = 1;
};

// "Slot 105, 2/5: code, 12 bytes, POWER": what a cell's tooltip and the
// screen reader say of it.
QString CellSummary(const SlotCell& cell);
// Each state's colour, as the grid and its legend show it.
QColor StateColour(SlotState state);
