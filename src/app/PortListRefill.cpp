// The port list follows adapters plugged in or out and ports published or
// withdrawn while the window is open. The list is filled again from the
// device map only while the port is closed: an open port's item stays as it
// was until Close, so the port in use never changes under the operator.

#include "LumaretDlg.h"

#include "PortIdentity.h"
#include "ShownText.h"

QString PortToolTip(const PortListItem& item) {
    // The device path may come from ports.conf.
    QString tip = QString::fromLocal8Bit(ShownText(item.devicePath).c_str());
    const std::string device = DeviceBehind(item.devicePath);
    if (device != item.devicePath) {
        tip += QStringLiteral(" -> ") + QString::fromLocal8Bit(ShownText(device).c_str());
    }
    const PortIdentity id = IdentifyPort(device);
    auto add = [&tip](const char* label, const std::string& value) {
        if (!value.empty()) {
            tip += QStringLiteral("\n") + QString::fromLatin1(label) +
                   QString::fromUtf8(ShownText(value).c_str());
        }
    };
    add("Vendor: ", id.vendor);
    add("Model: ", id.model);
    add("Serial number: ", id.serial);
    add("By id: ", id.byId);
    return tip;
}

void CLumaretDlg::StartPortMonitor() {
    m_pPortMonitor = std::make_unique<CPortMonitor>();
    if (!m_pPortMonitor->Start()) {
        m_pPortMonitor.reset(); // nothing to watch: the list stays as filled at start
        return;
    }
    m_pPortNotifier =
        std::make_unique<QSocketNotifier>(m_pPortMonitor->Fd(), QSocketNotifier::Read);
    connect(m_pPortNotifier.get(), &QSocketNotifier::activated, this, &CLumaretDlg::OnPortsChanged);
}

void CLumaretDlg::OnPortsChanged() {
    if (!m_pPortMonitor || !m_pPortMonitor->TakeChanges()) {
        return;
    }
    if (m_bPortOpen != 0) {
        m_bPortListStale = true;
        return;
    }
    RefillPortList();
}

void CLumaretDlg::RefillPortList() {
    m_bPortListStale = false;
    const QString selected = m_comboPort.currentText();
    // The walk's steps report nothing here: their boxes belong to the start.
    const PortListWalk walk = WalkPortList(*m_pRegistry);
    m_comboPort.clear();
    for (const PortListItem& item : walk.items) {
        m_comboPort.addItem(QString::fromLatin1(item.comName.c_str()));
        m_comboPort.setItemData(m_comboPort.count() - 1, PortToolTip(item), Qt::ToolTipRole);
    }
    const int kept = m_comboPort.findText(selected, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    m_comboPort.setCurrentIndex(kept >= 0 ? kept : (m_comboPort.count() > 0 ? 0 : -1));
}
