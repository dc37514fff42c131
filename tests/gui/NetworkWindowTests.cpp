// The window on a module that ser2net serves, named in the names file: the
// port list shows it with its address, and it opens and answers as a local
// one; a server nobody runs, or one that went, gets the window's own texts.

#include "ExpectedBytes.h"
#include "LumaretDlg.h"
#include "PortRegistry.h"
#include "Ser2netServer.h"
#include "SimulatedModule.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

TEST(NetworkWindow, ANamedNetworkPortIsListedOpenedAndAsked) {
    if (Ser2netServer::Program().empty()) {
        GTEST_SKIP() << "ser2net is not installed";
    }
    char folderName[] = "/tmp/lumaret-net-window-XXXXXX";
    ASSERT_NE(mkdtemp(folderName), nullptr);
    const std::string folder = folderName;
    SimulatedModule module;
    ASSERT_TRUE(module.Start());
    Ser2netServer server;
    ASSERT_TRUE(server.Start(module.SlavePath(), folder));
    std::filesystem::create_directories(folder + "/config/lumaret");
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    WriteFileBytes(folder + "/config/lumaret/ports.conf",
                   "COM50 = " + server.Url() + "\nCOM51 = " + nobody + "\n");
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    {
        CDeviceMapRegistry registry;
        CRecordingPrompts prompts;
        DialogServices services;
        services.registry = &registry;
        services.prompts = &prompts;
        services.timing = ScaledTiming(0.25);
        CLumaretDlg dlg(services);
        dlg.Create();
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        auto* ports = dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT"));
        ASSERT_NE(ports, nullptr);
        auto* open = dlg.findChild<QPushButton*>(QStringLiteral("IDC_OPEN"));
        auto* get = dlg.findChild<QPushButton*>(QStringLiteral("IDC_GET_VERSION"));

        ports->setCurrentIndex(ports->findText(QStringLiteral("COM51")));
        QTest::mouseClick(open, Qt::LeftButton);
        EXPECT_FALSE(dlg.IsPortOpen());
        EXPECT_EQ(prompts.messages, std::vector<QString>{"Open Fail"});
        prompts.messages.clear();

        const int item = ports->findText(QStringLiteral("COM50"));
        ASSERT_GE(item, 0);
        EXPECT_TRUE(ports->itemData(item, Qt::ToolTipRole)
                        .toString()
                        .contains(QString::fromStdString(server.Url())));
        ports->setCurrentIndex(item);
        QTest::mouseClick(open, Qt::LeftButton);
        ASSERT_TRUE(dlg.IsPortOpen()) << prompts.messages.size();
        module.ClearReceivedFrames();
        QTest::mouseClick(get, Qt::LeftButton);
        EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("IDC_VERSION"))->text(), "102.003");
        ASSERT_FALSE(module.ReceivedFrames().empty());
        EXPECT_EQ(module.ReceivedFrames().back(), WORKED_GET_FRAME);
        EXPECT_TRUE(prompts.messages.empty());

        server.Kill();
        QTest::mouseClick(get, Qt::LeftButton);
        EXPECT_EQ(prompts.messages, std::vector<QString>{"Get Fail"});
    }
    unsetenv("XDG_CONFIG_HOME");
    server.Stop();
    module.Stop();
    std::filesystem::remove_all(folder);
}

} // namespace
