#include "LumaretApp.h"
#include "LumaretVersion.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <optional>

namespace {

// What the command line asks of the window program: --help and --version
// print and end it, anything else unknown is a usage error (status 2); with
// no arguments the window starts. Decided before any display is opened, so
// that both work without one.
std::optional<int> HandleArguments(int argc, char** argv) {
    QCoreApplication probe(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Service tool for serial infrared learning modules: the window.\n"
                       "Without arguments it opens the window."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "lumaret: %s\nRun 'lumaret --help' for the options.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("lumaret %s\n", LUMARET_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "lumaret: unexpected argument '%s'\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Lumaret"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(LUMARET_VERSION));
    if (const std::optional<int> status = HandleArguments(argc, argv)) {
        return *status;
    }
    // The window takes no arguments: only its name reaches Qt.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setDesktopFileName(QStringLiteral("lumaret"));
    theApp.InitInstance();
    return 0;
}
