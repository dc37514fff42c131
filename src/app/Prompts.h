#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every message box and file dialog of the program goes through one object of
// this kind, so tests can put a recorder in its place.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    // A modal box titled "Lumaret" with the text only and an OK button.
    virtual void MessageBox(QWidget* parent, const QString& text) = 0;
    // File dialogs. filter lists description and pattern pairs, each part
    // ended by '|', the list by "||" ("TXT Files (*.txt)|*.txt||").
    // The chosen full path, or an empty string when the operator cancels.
    // The save dialog asks before it lets an existing file be replaced.
    virtual QString SaveFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultExtension, const QString& initialName) = 0;
    virtual QString OpenFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultExtension) = 0;
};

// A filter in the '|' form above as Qt's name filters, one per pair
// ("TXT Files (*.txt)", "All Files (*.*)").
QStringList NameFiltersOf(const QString& filter);

// The real boxes and dialogs: QMessageBox and QFileDialog.
class CQtPrompts : public IPrompts {
public:
    void MessageBox(QWidget* parent, const QString& text) override;
    QString SaveFileName(QWidget* parent, const QString& filter, const QString& defaultExtension,
                         const QString& initialName) override;
    QString OpenFileName(QWidget* parent, const QString& filter,
                         const QString& defaultExtension) override;
};
