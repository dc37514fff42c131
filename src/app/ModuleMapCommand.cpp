// "Module map..." from the window menu: the map dialog, modal so that no
// command of the window meets its read on the line, lent the window's line.

#include "LumaretDlg.h"

#include "ModuleMapDlg.h"

CModuleMapDlg* CLumaretDlg::ModuleMapDialog() const {
    return m_pModuleMapDlg;
}

void CLumaretDlg::OnModuleMap() {
    if (m_pModuleMapDlg) {
        m_pModuleMapDlg->raise();
        return;
    }
    ModuleMapLine line{m_serial,
                       m_timing,
                       *m_pPrompts,
                       m_startThread,
                       [this] { return RequireOpenPort(); },
                       [this] {
                           return !m_pExportThread && !m_pImportThread && !IsLearnPending() &&
                                  !m_bLearningRemote;
                       }};
    auto* dlg = new CModuleMapDlg(std::move(line), this);
    m_pModuleMapDlg = dlg;
    dlg->setWindowModality(Qt::ApplicationModal);
    connect(dlg, &QDialog::finished, dlg, &QObject::deleteLater);
    connect(this, &QDialog::finished, dlg, &QDialog::reject);
    dlg->show();
    // Open, the module is what the operator came to see; closed, a file may be.
    if (IsPortOpen()) {
        dlg->ReadModule();
    }
}
