#include "Prompts.h"

#include <QFileDialog>
#include <QMessageBox>

QStringList NameFiltersOf(const QString& filter) {
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        if (description.isEmpty()) {
            break; // the "||" that ends the list
        }
        // Qt takes the patterns from the parentheses of the description.
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))) {
            filters << description;
        } else {
            filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
        }
    }
    return filters;
}

namespace {

QString RunFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

void CQtPrompts::MessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Lumaret"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString CQtPrompts::SaveFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultExtension, const QString& initialName) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFiltersOf(filter));
    dialog.setDefaultSuffix(defaultExtension);
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    return RunFileDialog(dialog);
}

QString CQtPrompts::OpenFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultExtension) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFiltersOf(filter));
    dialog.setDefaultSuffix(defaultExtension);
    return RunFileDialog(dialog);
}
