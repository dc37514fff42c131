// What the operator sees of a walk through a remote: the job's events, raised
// on the worker, turned into the list's statuses, the prompt, the countdown
// of the learn that waits and the status line, on the UI thread.

#include "LearnRemoteDlg.h"

#include "KeyCapture.h"
#include "ShownText.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace {

QString Waiting() {
    return QStringLiteral("waiting");
}

// The widest status a row shows, for the width the status column needs.
const char* const WIDEST_STATUS = "stable (2 of 3)";

// "3 keys", "1 key".
QString Keys(size_t count) {
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? QStringLiteral("key")
                                                             : QStringLiteral("keys"));
}

} // namespace

// The walk's observer on the worker. Every event runs on the UI thread and
// the worker waits for it, as a sent window message keeps its sender
// waiting; once the dialog stops the walk itself, the events are dropped.
class CLearnRemoteView : public ILearnRemoteObserver {
public:
    explicit CLearnRemoteView(CLearnRemoteDlg& dlg) : m_dlg(dlg) {}

    void OnPrompt(const RemoteKey& key, int capture, uint32_t waitMs) override {
        OnUi([this, key, capture, waitMs] { m_dlg.ShowPrompt(key, capture, waitMs); });
    }
    void OnWaitEnded(const RemoteKey& /*key*/, bool /*captured*/) override {
        OnUi([this] { m_dlg.ShowWaitEnded(); });
    }
    void OnResume(size_t inSession, size_t onModule, size_t total) override {
        OnUi([this, inSession, onModule, total] { m_dlg.ShowResume(inSession, onModule, total); });
    }
    KeyChoice OnFailed(const RemoteKey& key, const std::string& why, int retriesLeft) override {
        // Again while tries are left, then on to the next key.
        const KeyChoice choice = ILearnRemoteObserver::OnFailed(key, why, retriesLeft);
        m_gaveUp = choice == KeyChoice::Skip;
        if (choice == KeyChoice::Retry) {
            Note(key.name + ": " + why + " Once more.");
        }
        return choice;
    }
    void OnDiffer(const RemoteKey& key, const std::vector<size_t>& positions) override {
        Note(key.name + ": the two codes differ at byte " + PositionsText(positions) +
             "; a third press decides.");
    }
    void OnKey(const RemoteKey& key, const KeyLearnResult& result) override {
        const bool gaveUp = std::exchange(m_gaveUp, false);
        OnUi([this, key, result, gaveUp] { m_dlg.ShowKey(key, result, gaveUp); });
    }

    void ShowResult(const LearnRemoteResult& result) {
        OnUi([this, result] { m_dlg.ShowSummary(result); });
    }

private:
    void Note(const std::string& text) {
        OnUi([this, text] { m_dlg.ShowNote(text); });
    }
    void OnUi(std::function<void()> work) { m_dlg.m_worker.Calls().Call(std::move(work)); }

    CLearnRemoteDlg& m_dlg;
    bool m_gaveUp = false; // the key's tries ran out
};

void CLearnRemoteDlg::RunWalk(const RemoteMap& map, const std::string& sessionPath,
                              const LearnRemoteOptions& options) {
    CLearnSession session(sessionPath);
    CLearnRemoteView view(*this);
    const JobPort port{m_line.link, m_line.timing, m_running, nullptr};
    const LearnRemoteResult result = LearnRemote(port, map, session, options, m_control, view);
    view.ShowResult(result);
    m_worker.Calls().Post([this] { OnWorkerEnded(); });
}

void CLearnRemoteDlg::ListKeys() {
    const QString sessionPath = QFile::decodeName(QByteArray::fromStdString(SessionPath()));
    m_pMap->setText(QStringLiteral("Map: %1 (%2)\nSession: %3")
                        .arg(QFileInfo(m_mapPath).fileName(), Keys(m_map.keys.size()),
                             QFileInfo(sessionPath).fileName()));
    m_pMap->setToolTip(m_mapPath + QLatin1Char('\n') + sessionPath);
    // The lengths of the codes the session holds; none when it cannot be read.
    CLearnSession session(SessionPath());
    std::string problem;
    const bool loaded = session.Load(&problem);
    m_pKeys->clear();
    for (size_t i = 0; i < m_map.keys.size(); ++i) {
        const RemoteKey& key = m_map.keys[i];
        const QString bytes = loaded && session.Holds(key.slot)
                                  ? QString::number(session.Code(key.slot).size())
                                  : QString();
        auto* item =
            new QTreeWidgetItem(m_pKeys, {QString::fromStdString(key.name),
                                          QString::fromStdString(KeyPlace(key)), bytes, Waiting()});
        item->setTextAlignment(BYTES_COLUMN, Qt::AlignRight | Qt::AlignVCenter);
        AddRowButtons(item, static_cast<int>(i));
    }
    // Each column as wide as its widest text, with room to tell them apart;
    // the dialog at least as wide as the columns, so that no row scrolls.
    const QFontMetrics metrics = m_pKeys->fontMetrics();
    const int gap = 2 * metrics.averageCharWidth();
    for (const int column : {NAME_COLUMN, PLACE_COLUMN, BYTES_COLUMN, ACTIONS_COLUMN}) {
        m_pKeys->resizeColumnToContents(column);
        m_pKeys->setColumnWidth(column, m_pKeys->columnWidth(column) + gap);
    }
    int needed = metrics.horizontalAdvance(QString::fromLatin1(WIDEST_STATUS)) + gap;
    for (const int column : {NAME_COLUMN, PLACE_COLUMN, BYTES_COLUMN, ACTIONS_COLUMN}) {
        needed += m_pKeys->columnWidth(column);
    }
    needed += 2 * m_pKeys->frameWidth() + m_pKeys->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    setMinimumWidth(std::max(minimumWidth(), needed + margins.left() + margins.right()));
}

void CLearnRemoteDlg::AddRowButtons(QTreeWidgetItem* item, int row) {
    auto* cell = new QWidget;
    auto* buttons = new QHBoxLayout(cell);
    buttons->setContentsMargins(0, 0, 0, 0);
    auto* tryKey = new QPushButton(QStringLiteral("Try"), cell);
    tryKey->setObjectName(QStringLiteral("IDC_TRY_KEY"));
    auto* learnAgain = new QPushButton(QStringLiteral("Learn again"), cell);
    learnAgain->setObjectName(QStringLiteral("IDC_LEARN_AGAIN"));
    for (QPushButton* button : {tryKey, learnAgain}) {
        button->setAutoDefault(false);
        button->setEnabled(!IsRunning() && m_bLineFree);
        buttons->addWidget(button);
    }
    connect(tryKey, &QPushButton::clicked, this, [this, row] { OnTry(row); });
    connect(learnAgain, &QPushButton::clicked, this,
            [this, row] { StartWalk({static_cast<size_t>(row)}); });
    m_pKeys->setItemWidget(item, ACTIONS_COLUMN, cell);
}

int CLearnRemoteDlg::RowOf(const RemoteKey& key) const {
    const RemoteKey* found = m_map.Find(key.name);
    return found == nullptr ? -1 : static_cast<int>(found - m_map.keys.data());
}

void CLearnRemoteDlg::SetStatus(int row, const QString& status) {
    if (QTreeWidgetItem* item = m_pKeys->topLevelItem(row); item != nullptr) {
        item->setText(STATUS_COLUMN, status);
    }
}

void CLearnRemoteDlg::ShowResume(size_t inSession, size_t onModule, size_t total) {
    m_pStatus->setText(QStringLiteral("resuming: %1 of %2 in the session, %3 of them on the module")
                           .arg(inSession)
                           .arg(Keys(total))
                           .arg(onModule));
}

void CLearnRemoteDlg::ShowPrompt(const RemoteKey& key, int capture, uint32_t waitMs) {
    QString text =
        QStringLiteral("Press %1 (%2) on the remote")
            .arg(QString::fromStdString(key.name), QString::fromStdString(KeyPlace(key)));
    if (capture == 2) {
        text += QStringLiteral(" again");
    } else if (capture > 2) {
        text += QStringLiteral(" once more");
    }
    m_pPrompt->setText(text);
    SetStatus(RowOf(key), QStringLiteral("now"));
    if (QTreeWidgetItem* item = m_pKeys->topLevelItem(RowOf(key)); item != nullptr) {
        m_pKeys->setCurrentItem(item);
    }
    m_waitMs = std::max<uint32_t>(waitMs, 1);
    m_pTimeLeft->setRange(0, static_cast<int>(m_waitMs));
    m_waitClock.start();
    m_bKeyWaits = true;
    OnCountdownTick();
    m_countdown.start();
    UpdateControls();
}

void CLearnRemoteDlg::OnCountdownTick() {
    const qint64 left = std::max<qint64>(0, m_waitMs - m_waitClock.elapsed());
    m_pTimeLeft->setValue(static_cast<int>(left));
    m_pTimeLeft->setFormat(QStringLiteral("%1 s left").arg((left + 999) / 1000));
    if (left == 0) {
        m_countdown.stop();
    }
}

void CLearnRemoteDlg::ShowWaitEnded() {
    m_countdown.stop();
    m_bKeyWaits = false;
    m_pTimeLeft->setValue(0);
    m_pTimeLeft->setFormat(QString());
    UpdateControls();
}

void CLearnRemoteDlg::ShowNote(const std::string& text) {
    // Notes may quote a session's or a map's text.
    m_pStatus->setText(QString::fromStdString(ShownText(text)));
    m_bNoteShown = true;
}

void CLearnRemoteDlg::ShowKey(const RemoteKey& key, const KeyLearnResult& result, bool gaveUp) {
    using Outcome = KeyLearnResult::Outcome;
    const int row = RowOf(key);
    // A key the walk ended on, or never reached, waits for a next run.
    QString status = result.outcome == Outcome::NotReached ? Waiting()
                     : gaveUp && result.outcome == Outcome::Skipped
                         ? QStringLiteral("failed")
                         : QString::fromLatin1(KeyOutcomeText(result.outcome));
    SetStatus(row, status);
    if (QTreeWidgetItem* item = m_pKeys->topLevelItem(row); item != nullptr && result.Learned()) {
        item->setText(BYTES_COLUMN, QString::number(result.code.size()));
    }
    // A note on a key ends with it, unless the key kept another's code.
    if (!result.sameAs.empty() && result.LearnedNow()) {
        ShowNote(key.name + " has the same code as " + result.sameAs);
    } else if (m_bNoteShown) {
        m_pStatus->clear();
        m_bNoteShown = false;
    }
}

void CLearnRemoteDlg::ShowSummary(const LearnRemoteResult& result) {
    const size_t total = result.keys.size();
    const size_t skipped = result.Count(KeyLearnResult::Outcome::Skipped);
    QString text =
        QStringLiteral("%1 of %2 learned").arg(total - result.Missing()).arg(Keys(total));
    if (skipped > 0) {
        text += QStringLiteral(", %1 skipped").arg(skipped);
    }
    if (result.SameCodes() > 0) {
        text += QStringLiteral(", %1 with the code of another").arg(result.SameCodes());
    }
    if (result.outcome != JobOutcome::Complete) {
        text += QStringLiteral(", stopped");
        if (!result.problem.empty()) {
            text += QStringLiteral(": ") + QString::fromStdString(ShownText(result.problem));
        }
    }
    m_pStatus->setText(text);
    m_bNoteShown = false;
}
