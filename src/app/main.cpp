#include "LumaretApp.h"
#include "LumaretVersion.h"

#include <QApplication>

int main(int argc, char** argv) {
    // The program takes no arguments: only its name reaches Qt.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumaret"));
    QApplication::setApplicationVersion(QString::fromLatin1(LUMARET_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumaret"));
    theApp.InitInstance();
    return 0;
}
