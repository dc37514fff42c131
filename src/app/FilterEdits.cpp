#include "FilterEdits.h"

#include <QKeyEvent>

std::optional<uint32_t> TypedCharacter(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
    case Qt::Key_Backspace:
        return 8u;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return std::nullopt;
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = event.modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z) {
        // Ctrl+letter types the control character, whatever text the platform attaches.
        return static_cast<uint32_t>(key - Qt::Key_A + 1);
    }
    const QString text = event.text();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(text.at(0).unicode());
}

CFilterEdit::CFilterEdit(Filter accepts, QWidget* parent) : QLineEdit(parent), m_accepts(accepts) {}

CFilterEdit::~CFilterEdit() = default;

void CFilterEdit::keyPressEvent(QKeyEvent* event) {
    const std::optional<uint32_t> character = TypedCharacter(*event);
    if (character && !m_accepts(*character)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

myedit::~myedit() = default;

myedit2::~myedit2() = default;
