#include "LogEdit.h"

#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>

CLogEdit::CLogEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

int CLogEdit::GetWindowTextLength() const {
    return document()->characterCount() - 1;
}

void CLogEdit::SetSel(int start, int end) {
    const int length = GetWindowTextLength();
    QTextCursor cursor = textCursor();
    cursor.setPosition(qBound(0, start, length));
    cursor.setPosition(qBound(0, end, length), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void CLogEdit::ScrollCaret() {
    ensureCursorVisible();
}

void CLogEdit::ReplaceSel(const QString& text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    // Not undoable: the undo history goes with it.
    document()->clearUndoRedoStacks();
}

void CLogEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->ignore();
        return;
    default:
        QPlainTextEdit::keyPressEvent(event);
    }
}
