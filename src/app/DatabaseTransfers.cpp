// Export and import of the whole module: the two button handlers, the worker
// threads they release, and the adapter through which a worker shows the
// job's events on the dialog. The jobs themselves live in the job layer.

#include "LumaretDlg.h"

#include "DatabaseFormat.h"
#include "DialogControls.h"
#include "ExportEnd.h"
#include "ExportJob.h"
#include "ImportJob.h"
#include "LearnRemoteDlg.h"
#include "SafeFileWriter.h"

#include <QCoreApplication>
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

// A worker's view of the dialog: the job's events turned into the window's
// progress reports, log texts, captions and boxes. Every call runs on the UI
// thread and the worker waits for it; once the dialog is closing the calls
// are dropped.
class CDialogJobView : public IJobObserver {
public:
    CDialogJobView(CLumaretDlg& dlg, QPushButton* button, const char* startText)
        : m_dlg(dlg), m_button(button), m_startText(startText) {}

    void OnStart(int32_t total) override {
        OnUi([this, total] {
            m_dlg.m_progress.setRange(0, total);
            m_dlg.m_progress.setValue(0);
        });
        if (m_startText != nullptr) {
            SetLogText(m_startText);
        }
    }
    void OnSlot(const SlotResult& slot) override {
        switch (slot.state) {
        case SlotResult::State::Code:
        case SlotResult::State::Empty:
            TransferProgress(slot.slot);
            break;
        case SlotResult::State::NoReply:
            TransferProgress(0);
            break;
        case SlotResult::State::Damaged:
        case SlotResult::State::NotStored:
            break;
        }
    }
    void OnLine(const LineResult& line) override {
        if (line.state == LineResult::State::Malformed) {
            TransferProgress(0);
            OnUi([this] { m_dlg.MessageBox(QString::fromLatin1(FILE_FORMAT_WRONG_TEXT)); });
        } else if (line.state == LineResult::State::Written) {
            TransferProgress(static_cast<int32_t>(line.index + 1));
        }
    }

    void SetLogText(const std::string& text) {
        OnUi([this, text] { m_dlg.m_editLog.setPlainText(Latin1(text)); });
    }
    void SetCaption(const std::string& text) {
        OnUi([this, text] { m_button->setText(Latin1(text)); });
    }

private:
    void TransferProgress(int32_t position) {
        // Sent to the dialog on the UI thread, as the window message it stands for.
        OnUi([this, position] {
            CTransferProgressEvent progress(position, 0);
            QCoreApplication::sendEvent(&m_dlg, &progress);
        });
    }
    void OnUi(std::function<void()> work) { m_dlg.m_uiCalls.Call(std::move(work)); }

    CLumaretDlg& m_dlg;
    QPushButton* m_button;
    const char* m_startText;
};

void CLumaretDlg::UpdateCommandStates() {
    const bool exportBusy = m_pExportThread != nullptr;
    const bool importBusy = m_pImportThread != nullptr;
    const bool transferBusy = exportBusy || importBusy;
    const bool learning = IsLearnPending();
    const bool walking = m_bLearningRemote;
    m_pGetVersion->setEnabled(!transferBusy && !walking);
    m_pRead->setEnabled(!transferBusy && !walking);
    m_pSend->setEnabled(!transferBusy && !walking);
    m_pLearn->setEnabled(!transferBusy && !learning && !walking);
    // A running transfer's button is its Cancel; once cancelled it waits for
    // its worker to end, so a new transfer never meets the old one's last steps.
    m_pExport->setEnabled(!learning && !walking && !importBusy &&
                          (!exportBusy || m_bExporting != 0));
    m_pImport->setEnabled(!learning && !walking && !exportBusy &&
                          (!importBusy || m_bImporting != 0));
    // Closing ends a transfer; opening again waits until its worker is gone.
    // A walk through a remote is ended from its own dialog.
    m_pOpen->setEnabled(!walking && (m_bPortOpen != 0 || !transferBusy));
    if (m_pLearnRemoteDlg) {
        m_pLearnRemoteDlg->SetLineFree(!transferBusy && !learning);
    }
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

void CLumaretDlg::EndTransfer(std::atomic<int32_t>& running, CDialogJobView& view,
                              const char* caption, std::unique_ptr<std::thread>& worker) {
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
    // The file that will take the chosen one's place is made now, beside it;
    // a target that cannot be replaced (a link, a device, a pipe, a folder)
    // or a folder that takes no file ends the export here without a word.
    // The chosen file itself stays as it is until the export has ended.
    auto file = std::make_unique<CSafeFileWriter>(LocalPath(m_strExportPath));
    if (!file->Open()) {
        return;
    }
    m_pExportFile = std::move(file);
    // An export empties the loaded import lines.
    m_importLines.clear();
    if (!StartTransfer(m_pExportThread, m_bExporting, m_pExport, ExportThreadProc)) {
        m_pExportFile.reset();
    }
}

unsigned CLumaretDlg::ExportThreadProc(void* pParam) {
    static_cast<CLumaretDlg*>(pParam)->RunExport();
    return 1;
}

void CLumaretDlg::RunExport() {
    m_hWorkEvent->Wait();
    CDialogJobView view(*this, m_pExport, nullptr);
    if (m_pExportFile && m_pExportFile->IsOpen()) {
        view.SetLogText("Start to read");
        const JobPort port{m_serial, m_timing, m_bExporting};
        const ExportResult result = ExportModule(port, *m_pExportFile, view);
        const bool complete = result.outcome == JobOutcome::Complete;
        // Where there was no file, the lines read make it, as they always
        // have; a file that cannot be put in place is not kept.
        const ExportEndRule rule{.unfinishedMakesNewFile = true, .partialWhenPutFails = false};
        const bool ok = EndExport(*m_pExportFile, complete, rule).inPlace && complete;
        view.SetLogText(ok ? EXPORT_OK_TEXT : EXPORT_FAIL_TEXT);
    }
    m_pExportFile.reset();
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
    // Read whole before the worker starts, by the command line's reader.
    DatabaseFileLines file = ReadDatabaseFile(LocalPath(path));
    if (!file.ok) {
        MessageBox(QStringLiteral("File Open Fail"));
        return;
    }
    m_importLines = std::move(file.lines);
    StartTransfer(m_pImportThread, m_bImporting, m_pImport, ImportThreadProc);
}

unsigned CLumaretDlg::ImportThreadProc(void* pParam) {
    static_cast<CLumaretDlg*>(pParam)->RunImport();
    return 1;
}

void CLumaretDlg::RunImport() {
    m_hWorkEvent->Wait();
    CDialogJobView view(*this, m_pImport, "Start write");
    const JobPort port{m_serial, m_timing, m_bImporting};
    const ImportResult result = ImportFile(port, m_importLines, view);
    // Malformed lines were shown and skipped; they do not fail the import.
    view.SetLogText(result.outcome == JobOutcome::Complete ? IMPORT_OK_TEXT : IMPORT_FAIL_TEXT);
    EndTransfer(m_bImporting, view, "Import", m_pImportThread);
}
