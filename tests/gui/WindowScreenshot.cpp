// window_screenshot OUT.png: the main window as the operator first sees it,
// with two ports listed and an outcome in the log, saved where it is told
// (the README's picture is made with it).

#include "LumaretDlg.h"
#include "WindowTestSupport.h"

#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot OUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    CPortValueList registry({{"/dev/ttyUSB0", "COM33"}, {"/tmp/x", "COM9"}});
    CRecordingPrompts prompts;
    DialogServices services;
    services.registry = &registry;
    services.prompts = &prompts;
    CLumaretDlg dlg(services);
    dlg.Create();
    dlg.show();
    dlg.findChild<QPlainTextEdit*>(QStringLiteral("IDC_LOG"))
        ->setPlainText(QStringLiteral("Send Ok!"));
    const QPixmap shot = dlg.grab();
    if (shot.width() <= 100 || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window_screenshot: cannot save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
