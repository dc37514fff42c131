// "Learn a remote..." from the window menu: the learn dialog beside the main
// window, lent the window's line, while the window's own commands on the
// line wait for the walk to end.

#include "LumaretDlg.h"

#include "LearnRemoteDlg.h"

CLearnRemoteDlg* CLumaretDlg::LearnRemoteDialog() const {
    return m_pLearnRemoteDlg;
}

void CLumaretDlg::OnLearnRemote() {
    if (m_pLearnRemoteDlg) {
        m_pLearnRemoteDlg->show();
        m_pLearnRemoteDlg->raise();
        m_pLearnRemoteDlg->activateWindow();
        return;
    }
    LearnRemoteLine line{
        m_serial,
        m_timing,
        *m_pPrompts,
        m_startThread,
        [this] { return RequireOpenPort(); },
        [this] { return m_bPortOpen != 0 ? m_comboPort.currentText() : QString(); }};
    auto* dlg = new CLearnRemoteDlg(std::move(line), this);
    m_pLearnRemoteDlg = dlg;
    connect(dlg, &CLearnRemoteDlg::RunningChanged, this, &CLumaretDlg::OnLearnRemoteRunning);
    // Closed, it goes; the next one starts from a map again.
    connect(dlg, &QDialog::finished, this, [this, dlg] {
        if (m_pLearnRemoteDlg == dlg) {
            m_pLearnRemoteDlg = nullptr;
        }
        dlg->deleteLater();
    });
    UpdateCommandStates();
    dlg->show();
    dlg->ChooseMap();
}

void CLumaretDlg::OnLearnRemoteRunning(bool running) {
    m_bLearningRemote = running;
    UpdateCommandStates();
}
