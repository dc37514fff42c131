// The learn dialog: its controls, the map it walks, and the worker that runs
// the walk. What the walk shows while it runs is in LearnRemoteView.cpp.

#include "LearnRemoteDlg.h"

#include "CommandFrame.h"
#include "DialogControls.h"
#include "DialogUnits.h"
#include "LearnSession.h"
#include "ModuleOperations.h"
#include "Resource.h"
#include "ShownText.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A map with more faults shows the first ones and how many more there are.
constexpr size_t FAULTS_SHOWN = 12;

// A label that takes the width the dialog gives it: its text never widens
// the dialog, which keeps its width through a walk.
QLabel* AddFittedLabel(QWidget* parent, const char* name, const char* accessibleName) {
    QLabel* label = AddLabel(parent, name, accessibleName);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QString FaultsText(const QString& path, const RemoteMap& map) {
    QString text = QStringLiteral("The map %1 cannot be used:").arg(QFileInfo(path).fileName());
    for (size_t i = 0; i < map.faults.size() && i < FAULTS_SHOWN; ++i) {
        text += QLatin1Char('\n') +
                QString::fromStdString(ShownText(RemoteMapFaultText(map.faults[i])));
    }
    if (map.faults.size() > FAULTS_SHOWN) {
        text += QStringLiteral("\nand %1 more").arg(map.faults.size() - FAULTS_SHOWN);
    }
    return text;
}

} // namespace

CLearnRemoteDlg::CLearnRemoteDlg(LearnRemoteLine line, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_line(std::move(line)) {
    m_countdown.setInterval(100);
    connect(&m_countdown, &QTimer::timeout, this, &CLearnRemoteDlg::OnCountdownTick);
    CreateControls();
    UpdateControls();
}

CLearnRemoteDlg::~CLearnRemoteDlg() {
    StopWorker();
}

void CLearnRemoteDlg::CreateControls() {
    setObjectName(QStringLiteral("IDD_LEARN_REMOTE"));
    setWindowTitle(QStringLiteral("Learn a remote"));
    setFont(DialogFont());
    const DialogBaseUnits du = BaseUnitsOf(font());

    m_pPort = AddFittedLabel(this, "IDC_LEARN_PORT", "Port");
    m_pMap = AddFittedLabel(this, "IDC_MAP", "Map");
    m_pMap->setText(QStringLiteral("No map"));
    m_pMap->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pChooseMap = AddButton(this, "IDC_CHOOSE_MAP", "Map...");

    m_pKeys = new QTreeWidget(this);
    m_pKeys->setObjectName(QStringLiteral("IDC_KEYS"));
    m_pKeys->setAccessibleName(QStringLiteral("Keys"));
    m_pKeys->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Channel/Key"),
                              QStringLiteral("Bytes"), QStringLiteral("Status"), QString()});
    // The status takes what the other columns leave, so rows that fit need no scroll bar.
    m_pKeys->header()->setStretchLastSection(false);
    m_pKeys->header()->setSectionResizeMode(STATUS_COLUMN, QHeaderView::Stretch);
    m_pKeys->setRootIsDecorated(false);
    m_pKeys->setUniformRowHeights(true);
    m_pKeys->setAllColumnsShowFocus(true);
    m_pKeys->setMinimumHeight(DialogUnitsToPixelsY(du, 90));

    m_pPrompt = AddFittedLabel(this, "IDC_KEY_PROMPT", "Key to press");
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 1.75);
    large.setBold(true);
    m_pPrompt->setFont(large);
    m_pPrompt->setMinimumHeight(QFontMetrics(large).height() * 2);

    m_pTimeLeft = new QProgressBar(this);
    m_pTimeLeft->setObjectName(QStringLiteral("IDC_TIME_LEFT"));
    m_pTimeLeft->setAccessibleName(QStringLiteral("Time left"));
    m_pTimeLeft->setRange(0, 1);
    m_pTimeLeft->setValue(0);
    m_pTimeLeft->setFormat(QString());

    m_pSkip = AddButton(this, "IDC_SKIP", "Skip");
    m_pRedo = AddButton(this, "IDC_REDO", "Redo");
    m_pStop = AddButton(this, "IDC_STOP", "Stop");
    m_pConfirm = new QCheckBox(QStringLiteral("Confirm each key twice"), this);
    m_pConfirm->setObjectName(QStringLiteral("IDC_CONFIRM_TWICE"));
    m_pStatus = AddFittedLabel(this, "IDC_LEARN_STATUS", "Status");
    m_pStart = AddButton(this, "IDC_START", "Start");
    m_pClose = AddButton(this, "IDCANCEL", "Close");

    auto* mapRow = new QHBoxLayout;
    mapRow->addWidget(m_pMap, 1);
    mapRow->addWidget(m_pChooseMap, 0, Qt::AlignTop);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_pSkip);
    keyRow->addWidget(m_pRedo);
    keyRow->addWidget(m_pStop);
    keyRow->addStretch(1);
    keyRow->addWidget(m_pConfirm);
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(m_pStatus, 1);
    endRow->addWidget(m_pStart, 0, Qt::AlignBottom);
    endRow->addWidget(m_pClose, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPort);
    layout->addLayout(mapRow);
    layout->addWidget(m_pKeys, 1);
    layout->addWidget(m_pPrompt);
    layout->addWidget(m_pTimeLeft);
    layout->addLayout(keyRow);
    layout->addLayout(endRow);
    resize(DialogSize(du, 250, 240));

    connect(m_pChooseMap, &QPushButton::clicked, this, &CLearnRemoteDlg::ChooseMap);
    connect(m_pSkip, &QPushButton::clicked, this, [this] { m_control.Ask(KeyRequest::Skip); });
    connect(m_pRedo, &QPushButton::clicked, this, [this] { m_control.Ask(KeyRequest::Redo); });
    connect(m_pStop, &QPushButton::clicked, this, &CLearnRemoteDlg::OnStop);
    connect(m_pStart, &QPushButton::clicked, this, &CLearnRemoteDlg::OnStart);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::reject);
}

bool CLearnRemoteDlg::ChooseMap() {
    if (IsRunning()) {
        return false;
    }
    const QString path = m_line.prompts.OpenFileName(this, QString::fromLatin1(REMOTE_MAP_FILTER),
                                                     QStringLiteral("map"));
    if (path.isEmpty()) {
        return false;
    }
    RemoteMap map = ReadRemoteMap(LocalPath(path));
    if (!map.Ok()) {
        m_line.prompts.MessageBox(this, FaultsText(path, map));
        return false;
    }
    m_mapPath = path;
    m_map = std::move(map);
    ListKeys();
    m_pStatus->clear();
    UpdateControls();
    return true;
}

std::string CLearnRemoteDlg::SessionPath() const {
    return SessionPathFor(LocalPath(m_mapPath));
}

void CLearnRemoteDlg::SetLineFree(bool free) {
    m_bLineFree = free;
    UpdateControls();
}

void CLearnRemoteDlg::UpdateControls() {
    const bool running = IsRunning();
    m_pChooseMap->setEnabled(!running);
    m_pConfirm->setEnabled(!running);
    m_pStart->setEnabled(!running && m_bLineFree && !m_map.keys.empty());
    // Skip and Redo mean the key that waits; between keys they would meet the next one.
    m_pSkip->setEnabled(running && m_bKeyWaits);
    m_pRedo->setEnabled(running && m_bKeyWaits);
    m_pStop->setEnabled(running && m_running != 0);
    const QString port = m_line.portName();
    m_pPort->setText(
        QStringLiteral("Port: %1").arg(port.isEmpty() ? QStringLiteral("none open") : port));
    for (QPushButton* button : m_pKeys->findChildren<QPushButton*>()) {
        button->setEnabled(!running && m_bLineFree);
    }
}

void CLearnRemoteDlg::OnTry(int row) {
    if (IsRunning() || !m_bLineFree || row < 0 || static_cast<size_t>(row) >= m_map.keys.size() ||
        !m_line.requireOpenPort()) {
        return;
    }
    const RemoteKey& key = m_map.keys[static_cast<size_t>(row)];
    const SendOutcome sent =
        SendKey(m_line.link, key.slot, ChannelMask(KeyChannel(key)), m_line.timing);
    ShowNote(key.name + ": " + SendOutcomeText(sent));
}

void CLearnRemoteDlg::OnStart() {
    StartWalk({});
}

void CLearnRemoteDlg::StartWalk(std::vector<size_t> only) {
    if (IsRunning() || m_map.keys.empty() || !m_line.requireOpenPort()) {
        return;
    }
    ListKeys();
    m_pStatus->clear();
    m_bNoteShown = false;
    LearnRemoteOptions options;
    options.confirm = m_pConfirm->isChecked();
    options.only = std::move(only);
    const std::string sessionPath = SessionPath();
    m_control.request.store(0);
    // Raised before the worker exists: it never sees the flag from before.
    m_running = 1;
    if (!m_worker.Start(m_line.startThread, [this, map = m_map, sessionPath, options] {
            RunWalk(map, sessionPath, options);
        })) {
        m_running = 0;
        m_line.prompts.MessageBox(this, QStringLiteral("Create Thread Fail"));
        return;
    }
    UpdateControls();
    emit RunningChanged(true);
}

void CLearnRemoteDlg::OnStop() {
    // The request ends the key that waits at once; the dropped flag stops the
    // walk too when no key waits (between two keys, or while a code is read back).
    m_control.Ask(KeyRequest::Stop);
    m_running = 0;
    UpdateControls();
}

void CLearnRemoteDlg::OnWorkerEnded() {
    m_worker.Join();
    m_running = 0;
    ShowWaitEnded();
    m_pPrompt->clear();
    UpdateControls();
    emit RunningChanged(false);
}

bool CLearnRemoteDlg::StopWorker() {
    if (!m_worker.Running()) {
        return false;
    }
    m_control.Ask(KeyRequest::Stop);
    m_running = 0;
    // The walk's last calls are dropped; the session file already holds
    // every key learned.
    m_worker.Stop();
    m_countdown.stop();
    return true;
}

void CLearnRemoteDlg::done(int result) {
    if (StopWorker()) {
        emit RunningChanged(false);
    }
    QDialog::done(result);
}
