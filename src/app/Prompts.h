#pragma once

#include <QString>

class QWidget;

// Every message box and file dialog of the program goes through one object of
// this kind, so tests can put a recorder in its place.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    // A modal box titled "Lumaret" with the text only and an OK button.
    virtual void MessageBox(QWidget* parent, const QString& text) = 0;
    // The chosen path, or an empty string when the operator cancels.
    virtual QString SaveFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultSuffix) = 0;
    virtual QString OpenFileName(QWidget* parent, const QString& filter) = 0;
};

// The real boxes and dialogs: QMessageBox and QFileDialog.
class CQtPrompts : public IPrompts {
public:
    void MessageBox(QWidget* parent, const QString& text) override;
    QString SaveFileName(QWidget* parent, const QString& filter,
                         const QString& defaultSuffix) override;
    QString OpenFileName(QWidget* parent, const QString& filter) override;
};
