// Export and import of the whole module: the two button handlers, the worker
// threads they release, and the view through which a worker shows its
// progress on the dialog. The loops themselves live in the database layer.

#include "LumaretDlg.h"

#include "DatabaseFormat.h"
#include "TransferLoops.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QStringDecoder>

#include <system_error>

namespace {

const char* const EXPORT_FILTER = "TXT Files (*.txt)|*.txt|All Files (*.*)|*.*||";
// The import filter is 8-bit text in code page 936: "TXT", two Chinese
// characters (file), "(*.txt)".
const char IMPORT_FILTER_CP936[] = "TXT\xCE\xC4\xBC\xFE(*.txt)|*.txt||";

QString ImportFilter() {
    QStringDecoder decode("CP936");
    if (!decode.isValid()) {
        return QString::fromLatin1(IMPORT_FILTER_CP936);
    }
    return decode(QByteArrayView(IMPORT_FILTER_CP936));
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::unique_ptr<std::thread> StartThread(std::function<void()> work) {
    try {
        return std::make_unique<std::thread>(std::move(work));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

// A worker's view of the dialog: every call runs on the UI thread and the
// worker waits for it. Once the dialog is closing the calls are dropped.
class CDialogTransferView : public ITransferView {
public:
    CDialogTransferView(CLumaretDlg& dlg, QPushButton* button) : m_dlg(dlg), m_button(button) {}

    void SetProgressRange(int32_t lower, int32_t upper) override {
        OnUi([this, lower, upper] { m_dlg.m_progress.setRange(lower, upper); });
    }
    void SetProgressPos(int32_t position) override {
        OnUi([this, position] { m_dlg.m_progress.setValue(position); });
    }
    void TransferProgress(int32_t position) override {
        // Sent to the dialog on the UI thread, as the window message it stands for.
        OnUi([this, position] {
            CTransferProgressEvent progress(position, 0);
            QCoreApplication::sendEvent(&m_dlg, &progress);
        });
    }
    void SetLogText(const std::string& text) override {
        OnUi([this, text] { m_dlg.m_editLog.setPlainText(Latin1(text)); });
    }
    void SetCaption(const std::string& text) override {
        OnUi([this, text] { m_button->setText(Latin1(text)); });
    }
    void FileFormatWrong(size_t lineIndex) override {
        (void)lineIndex;
        OnUi([this] { m_dlg.MessageBox(QStringLiteral("File format wrong")); });
    }

private:
    void OnUi(std::function<void()> work) { m_dlg.m_uiCalls.Call(std::move(work)); }

    CLumaretDlg& m_dlg;
    QPushButton* m_button;
};

void CLumaretDlg::UpdateCommandStates() {
    const bool exportBusy = m_pExportThread != nullptr;
    const bool importBusy = m_pImportThread != nullptr;
    const bool transferBusy = exportBusy || importBusy;
    const bool learning = IsLearnPending();
    m_pGetVersion->setEnabled(!transferBusy);
    m_pRead->setEnabled(!transferBusy);
    m_pSend->setEnabled(!transferBusy);
    m_pLearn->setEnabled(!transferBusy && !learning);
    // A running transfer's button is its Cancel; once cancelled it waits for
    // its worker to end, so a new transfer never meets the old one's last steps.
    m_pExport->setEnabled(!learning && !importBusy && (!exportBusy || m_bExporting != 0));
    m_pImport->setEnabled(!learning && !exportBusy && (!importBusy || m_bImporting != 0));
    // Closing ends a transfer; opening again waits until its worker is gone.
    m_pOpen->setEnabled(m_bPortOpen != 0 || !transferBusy);
}

void CLumaretDlg::OnWorkerEnded(std::unique_ptr<std::thread>& worker) {
    if (worker && worker->joinable()) {
        worker->join();
    }
    worker.reset();
    UpdateCommandStates();
}

bool CLumaretDlg::CancelTransfer(std::atomic<int32_t>& running, QPushButton* button,
                                 const char* caption) {
    if (running != 1) {
        return false;
    }
    // The worker stops before its next slot or line.
    button->setText(QString::fromLatin1(caption));
    running = 0;
    UpdateCommandStates();
    return true;
}

bool CLumaretDlg::StartTransfer(std::unique_ptr<std::thread>& worker, std::atomic<int32_t>& running,
                                QPushButton* button, unsigned (*threadProc)(void*)) {
    worker = m_startThread([this, threadProc] { threadProc(this); });
    if (!worker) {
        MessageBox(QStringLiteral("Create Thread Fail"));
        return false;
    }
    // Created first, then the flag, then released: the worker never sees the
    // flag from before.
    running = 1;
    m_hWorkEvent->Set();
    button->setText(QStringLiteral("Cancel"));
    UpdateCommandStates();
    return true;
}

void CLumaretDlg::EndTransfer(std::atomic<int32_t>& running, ITransferView& view,
                              const char* caption, std::unique_ptr<std::thread>& worker) {
    m_file.Close();
    running = 0;
    m_hWorkEvent->Reset();
    view.SetCaption(caption);
    m_uiCalls.Post([this, &worker] { OnWorkerEnded(worker); });
}

void CLumaretDlg::OnExportDatabase() {
    if (!RequireOpenPort() || CancelTransfer(m_bExporting, m_pExport, "Export")) {
        return;
    }
    const QString path = m_pPrompts->SaveFileName(nullptr, QString::fromLatin1(EXPORT_FILTER),
                                                  QStringLiteral("txt"), QStringLiteral("*.txt"));
    if (path.isEmpty()) {
        return;
    }
    m_strExportPath = path;
    // The file is made (and emptied) now; a file that cannot be made ends
    // the export here without a word.
    if (!m_file.OpenForWriting(QFile::encodeName(m_strExportPath).toStdString())) {
        return;
    }
    m_file.Close();
    // An export empties the loaded import lines.
    m_importLines.clear();
    StartTransfer(m_pExportThread, m_bExporting, m_pExport, ExportThreadProc);
}

unsigned CLumaretDlg::ExportThreadProc(void* pParam) {
    static_cast<CLumaretDlg*>(pParam)->RunExport();
    return 1;
}

void CLumaretDlg::RunExport() {
    m_hWorkEvent->Wait();
    CDialogTransferView view(*this, m_pExport);
    if (m_file.OpenForWriting(QFile::encodeName(m_strExportPath).toStdString())) {
        view.SetLogText("Start to read");
        const bool ok = ExportKeys(m_serial, m_file, m_bExporting, view, m_timing);
        view.SetLogText(ok ? "Export ok" : "Export fail");
    }
    EndTransfer(m_bExporting, view, "Export", m_pExportThread);
}

void CLumaretDlg::OnImportDatabase() {
    if (!RequireOpenPort() || CancelTransfer(m_bImporting, m_pImport, "Import")) {
        return;
    }
    const QString path = m_pPrompts->OpenFileName(nullptr, ImportFilter(), QStringLiteral("txt"));
    if (path.isEmpty()) {
        return;
    }
    ClearLog();
    m_importLines.clear();
    std::string text;
    if (!m_file.OpenForReading(QFile::encodeName(path).toStdString()) || !m_file.ReadAll(text)) {
        m_file.Close();
        MessageBox(QStringLiteral("File Open Fail"));
        return;
    }
    m_importLines = SplitDatabaseText(text);
    if (!StartTransfer(m_pImportThread, m_bImporting, m_pImport, ImportThreadProc)) {
        // Nobody else would close it.
        m_file.Close();
    }
}

unsigned CLumaretDlg::ImportThreadProc(void* pParam) {
    static_cast<CLumaretDlg*>(pParam)->RunImport();
    return 1;
}

void CLumaretDlg::RunImport() {
    m_hWorkEvent->Wait();
    CDialogTransferView view(*this, m_pImport);
    const bool ok = ImportKeys(m_serial, m_importLines, m_bImporting, view, m_timing);
    view.SetLogText(ok ? "Import ok" : "Import fail");
    EndTransfer(m_bImporting, view, "Import", m_pImportThread);
}
