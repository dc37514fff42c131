// The map dialog: its controls, the read of the module on a worker, and the
// files it draws, compares with and takes names from.

#include "ModuleMapDlg.h"

#include "DialogControls.h"
#include "DialogUnits.h"
#include "SlotGrid.h"

#include "DatabaseFormat.h"
#include "JobObserver.h"
#include "JobPort.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const DATABASE_FILTER = "TXT Files (*.txt)|*.txt|All Files (*.*)|*.*||";
const char* const PICTURE_FILTER = "PNG Pictures (*.png)|*.png||";

// The read's progress on the dialog's bar, each step shown before the next
// slot is read, as the window shows a transfer's.
class CMapReadView : public IJobObserver {
public:
    CMapReadView(CUiThreadCalls& calls, QProgressBar* bar) : m_calls(calls), m_pBar(bar) {}
    void OnStart(int32_t total) override {
        m_calls.Call([bar = m_pBar, total] { bar->setRange(0, total); });
    }
    void OnProgress(int32_t done, int32_t) override {
        m_calls.Call([bar = m_pBar, done] { bar->setValue(done); });
    }

private:
    CUiThreadCalls& m_calls;
    QProgressBar* m_pBar;
};

// Each state of the legend with its colour and count.
QString CountsText(const SlotMap& map) {
    const auto counts = map.Counts();
    QStringList items;
    for (const SlotState state : map.LegendStates()) {
        items << QStringLiteral("<span style=\"color:%1\">\u25A0</span> %2 %3")
                     .arg(StateColour(state).name(),
                          QString::fromStdString(SlotStateText(state)).toHtmlEscaped())
                     .arg(counts[static_cast<size_t>(state)]);
    }
    return items.join(QStringLiteral("&nbsp;&nbsp; "));
}

} // namespace

CModuleMapDlg::CModuleMapDlg(ModuleMapLine line, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_line(std::move(line)) {
    CreateControls();
    UpdateControls();
}

CModuleMapDlg::~CModuleMapDlg() {
    StopWorker();
}

void CModuleMapDlg::CreateControls() {
    setObjectName(QStringLiteral("IDD_MODULE_MAP"));
    setWindowTitle(QStringLiteral("Module map"));
    setFont(DialogFont());

    m_pSource = AddLabel(this, "IDC_MAP_SOURCE", "Source");
    m_pSource->setTextFormat(Qt::PlainText);
    m_pSource->setText(QStringLiteral("Nothing read yet: read the module, or open a file."));
    m_pPicture = new QWidget(this);
    m_pPicture->setObjectName(QStringLiteral("IDC_MAP_PICTURE"));
    m_pPicture->setAutoFillBackground(true);
    m_pGrid = new CSlotGrid(m_pPicture);
    m_pCounts = AddLabel(m_pPicture, "IDC_MAP_COUNTS", "Counts");
    m_pCounts->setTextFormat(Qt::RichText);
    auto* pictureLayout = new QVBoxLayout(m_pPicture);
    pictureLayout->addWidget(m_pGrid);
    pictureLayout->addWidget(m_pCounts);
    m_pCurrent = AddLabel(this, "IDC_MAP_CURRENT", "Current slot");
    m_pCurrent->setTextFormat(Qt::PlainText);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("IDC_MAP_PROGRESS"));
    m_pProgress->setAccessibleName(QStringLiteral("Progress"));
    m_pProgress->setRange(0, SLOT_COUNT);
    m_pProgress->setValue(0);

    m_pRead = AddButton(this, "IDC_MAP_READ", QStringLiteral("Read module"));
    m_pStop = AddButton(this, "IDC_MAP_STOP", QStringLiteral("Stop"));
    m_pOpen = AddButton(this, "IDC_MAP_OPEN", QStringLiteral("Open file\u2026"));
    m_pCompare = AddButton(this, "IDC_MAP_COMPARE", QStringLiteral("Compare with file\u2026"));
    m_pRemoteMap = AddButton(this, "IDC_MAP_NAMES", QStringLiteral("Remote map\u2026"));
    m_pSave = AddButton(this, "IDC_MAP_SAVE", QStringLiteral("Save picture\u2026"));
    m_pClose = AddButton(this, "IDCANCEL", QStringLiteral("Close"));

    auto* readRow = new QHBoxLayout;
    readRow->addWidget(m_pRead);
    readRow->addWidget(m_pStop);
    readRow->addWidget(m_pProgress, 1);
    auto* fileRow = new QHBoxLayout;
    for (QPushButton* button : {m_pOpen, m_pCompare, m_pRemoteMap, m_pSave}) {
        fileRow->addWidget(button);
    }
    fileRow->addStretch(1);
    fileRow->addWidget(m_pClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pSource);
    layout->addWidget(m_pPicture);
    layout->addWidget(m_pCurrent);
    layout->addLayout(readRow);
    layout->addLayout(fileRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_pGrid, &CSlotGrid::CurrentChanged, this,
            [this](uint16_t slot) { m_pCurrent->setText(CellSummary(m_map.Cell(slot))); });
    connect(m_pRead, &QPushButton::clicked, this, &CModuleMapDlg::ReadModule);
    connect(m_pStop, &QPushButton::clicked, this, [this] {
        m_running = 0;
        UpdateControls();
    });
    connect(m_pOpen, &QPushButton::clicked, this, &CModuleMapDlg::OnOpenFile);
    connect(m_pCompare, &QPushButton::clicked, this, &CModuleMapDlg::OnCompare);
    connect(m_pRemoteMap, &QPushButton::clicked, this, &CModuleMapDlg::OnRemoteMap);
    connect(m_pSave, &QPushButton::clicked, this, &CModuleMapDlg::OnSavePicture);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::reject);
    Show(m_map);
}

void CModuleMapDlg::UpdateControls() {
    const bool running = IsRunning();
    for (QPushButton* button : {m_pRead, m_pOpen, m_pCompare, m_pRemoteMap, m_pSave}) {
        button->setEnabled(!running);
    }
    m_pStop->setEnabled(running && m_running != 0);
}

bool CModuleMapDlg::ReadModule() {
    if (IsRunning() || !m_line.requireOpenPort()) {
        return false;
    }
    if (!m_line.lineFree()) {
        m_line.prompts.MessageBox(
            this, QStringLiteral("The line is busy: wait until the transfer or learn ends."));
        return false;
    }
    m_pProgress->setValue(0);
    m_pSource->setText(QStringLiteral("Reading the module\u2026"));
    // Raised before the worker exists: it never sees the flag from before.
    m_running = 1;
    const bool started = m_worker.Start(m_line.startThread, [this] {
        CMapReadView view(m_worker.Calls(), m_pProgress);
        const JobPort port{m_line.link, m_line.timing, m_running, nullptr};
        const SlotMapRead read = ReadSlotMap(port, view);
        // Posted, not waited for: the UI thread joins this worker when it runs it.
        m_worker.Calls().Post([this, read] { OnReadEnded(read); });
    });
    if (!started) {
        m_running = 0;
        m_line.prompts.MessageBox(this, QStringLiteral("Create Thread Fail"));
        return false;
    }
    UpdateControls();
    return true;
}

void CModuleMapDlg::OnReadEnded(const SlotMapRead& read) {
    m_worker.Join();
    m_running = 0;
    Show(read.map);
    QString source = QStringLiteral("Module");
    if (read.outcome == JobOutcome::Cancelled) {
        source += QStringLiteral(" (stopped: the slots not read are blank)");
    } else if (read.outcome != JobOutcome::Complete) {
        source += QStringLiteral(" (no reply at slot %1: the slots not read are blank)")
                      .arg(read.failedSlot);
    }
    m_pSource->setText(source);
    UpdateControls();
}

void CModuleMapDlg::Show(SlotMap map) {
    if (m_against) {
        CompareSlotMap(map, *m_against);
    }
    NameSlots(map, m_names);
    m_map = std::move(map);
    m_pGrid->SetMap(m_map);
    m_pCounts->setText(CountsText(m_map));
    m_pGrid->setAccessibleDescription(CellSummary(m_map.Cell(m_pGrid->Current())));
}

bool CModuleMapDlg::ReadFileSlots(const QString& path, SlotContent& content) {
    const DatabaseFileLines file = ReadDatabaseFile(LocalPath(path));
    if (!file.ok) {
        m_line.prompts.MessageBox(
            this, QStringLiteral("Cannot read %1: %2")
                      .arg(QFileInfo(path).fileName(), QString::fromStdString(file.error)));
        return false;
    }
    content = SlotsOfLines(file.lines);
    if (!content.malformed.empty()) {
        m_line.prompts.MessageBox(
            this, QStringLiteral("%1: %2 lines are not in the database format and are left out.")
                      .arg(QFileInfo(path).fileName())
                      .arg(content.malformed.size()));
    }
    return true;
}

void CModuleMapDlg::OnOpenFile() {
    const QString path = m_line.prompts.OpenFileName(this, QString::fromLatin1(DATABASE_FILTER),
                                                     QStringLiteral("txt"));
    SlotContent content;
    if (path.isEmpty() || !ReadFileSlots(path, content)) {
        return;
    }
    Show(SlotMapOfFile(content));
    m_pSource->setText(QStringLiteral("File %1").arg(QFileInfo(path).fileName()));
}

void CModuleMapDlg::OnCompare() {
    const QString path = m_line.prompts.OpenFileName(this, QString::fromLatin1(DATABASE_FILTER),
                                                     QStringLiteral("txt"));
    SlotContent content;
    if (path.isEmpty() || !ReadFileSlots(path, content)) {
        return;
    }
    m_against = std::move(content);
    Show(m_map);
    m_pSource->setText(m_pSource->text() +
                       QStringLiteral(", compared with %1").arg(QFileInfo(path).fileName()));
}

void CModuleMapDlg::OnRemoteMap() {
    const QString path = m_line.prompts.OpenFileName(this, QString::fromLatin1(REMOTE_MAP_FILTER),
                                                     QStringLiteral("map"));
    if (path.isEmpty()) {
        return;
    }
    RemoteMap names = ReadRemoteMap(LocalPath(path));
    if (!names.Ok()) {
        m_line.prompts.MessageBox(
            this, QStringLiteral("The map %1 cannot be used: %2")
                      .arg(QFileInfo(path).fileName(),
                           QString::fromStdString(RemoteMapFaultText(names.faults.front()))));
        return;
    }
    m_names = std::move(names);
    Show(m_map);
}

void CModuleMapDlg::OnSavePicture() {
    const QString path = m_line.prompts.SaveFileName(
        this, QString::fromLatin1(PICTURE_FILTER), QStringLiteral("png"), QStringLiteral("*.png"));
    if (!path.isEmpty() && !m_pPicture->grab().save(path, "PNG")) {
        m_line.prompts.MessageBox(this, QStringLiteral("Cannot save the picture to %1").arg(path));
    }
}

bool CModuleMapDlg::StopWorker() {
    if (!m_worker.Running()) {
        return false;
    }
    m_running = 0;
    return m_worker.Stop();
}

void CModuleMapDlg::done(int result) {
    StopWorker();
    QDialog::done(result);
}
