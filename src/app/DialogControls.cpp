#include "DialogControls.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

QPushButton* AddButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLabel* AddLabel(QWidget* parent, const char* name, const char* accessibleName) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(QString::fromLatin1(accessibleName));
    label->setWordWrap(true);
    return label;
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
