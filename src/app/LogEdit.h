#pragma once

#include <QPlainTextEdit>

// The multi-line log field: editable by the operator, Tab moves on to the next
// control and Enter goes to the dialog, as in a dialog's multi-line edit
// without the want-return style. Offers the edit-control operations that the
// handlers write through.
class CLogEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CLogEdit(QWidget* parent = nullptr);

    int GetWindowTextLength() const;
    void SetSel(int start, int end);
    void ScrollCaret();
    // Replaces the selection (or inserts at the caret); cannot be undone.
    void ReplaceSel(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
