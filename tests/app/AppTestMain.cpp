#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A port directory of this process's own, so parallel tests never share COM names.
    std::string runtime = "/tmp/lumaret-app-XXXXXX";
    if (mkdtemp(runtime.data()) != nullptr) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
