// What the operator sees of a walk through a remote: the job's events, raised
// on the worker, turned into the list's statuses, the prompt, the countdown
// of the learn that waits and the status line, on the UI thread.

#include "LearnRemoteDlg.h"

#include "KeyCapture.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int STATUS_COLUMN = 2;

QString Waiting() {
    return QStringLiteral("waiting");
}

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

    void OnResume(size_t learned, size_t total) override {
        OnUi([this, learned, total] { m_dlg.ShowResume(learned, total); });
    }
    void OnPrompt(const RemoteKey& key, int capture, uint32_t waitMs) override {
        OnUi([this, key, capture, waitMs] { m_dlg.ShowPrompt(key, capture, waitMs); });
    }
    void OnWaitEnded(const RemoteKey& /*key*/, bool /*captured*/) override {
        OnUi([this] { m_dlg.ShowWaitEnded(); });
    }
    KeyChoice OnFailed(const RemoteKey& key, const std::string& why, int retriesLeft) override {
        // Again while tries are left, then on to the next key.
        const KeyChoice choice = ILearnRemoteObserver::OnFailed(key, why, retriesLeft);
        Note(key.name + ": " + why + (choice == KeyChoice::Retry ? " Once more." : " Skipped."));
        return choice;
    }
    void OnDiffer(const RemoteKey& key, const std::vector<size_t>& positions) override {
        Note(key.name + ": the two codes differ at byte " + PositionsText(positions) +
             "; a third press decides.");
    }
    void OnKey(const RemoteKey& key, const KeyLearnResult& result) override {
        OnUi([this, key, result] { m_dlg.ShowKey(key, result); });
    }

    void ShowResult(const LearnRemoteResult& result) {
        OnUi([this, result] { m_dlg.ShowSummary(result); });
    }

private:
    void Note(const std::string& text) {
        OnUi([this, text] { m_dlg.ShowNote(text); });
    }
    void OnUi(std::function<void()> work) { m_dlg.m_uiCalls.Call(std::move(work)); }

    CLearnRemoteDlg& m_dlg;
};

void CLearnRemoteDlg::RunWalk(const RemoteMap& map, const std::string& sessionPath,
                              const LearnRemoteOptions& options) {
    CLearnSession session(sessionPath);
    CLearnRemoteView view(*this);
    const JobPort port{m_line.link, m_line.timing, m_running, nullptr};
    const LearnRemoteResult result = LearnRemote(port, map, session, options, m_control, view);
    view.ShowResult(result);
    m_uiCalls.Post([this] { OnWorkerEnded(); });
}

void CLearnRemoteDlg::ListKeys() {
    m_pMap->setText(QStringLiteral("Map: %1 (%2)\nSession: %3")
                        .arg(m_mapPath, Keys(m_map.keys.size()),
                             QFile::decodeName(QByteArray::fromStdString(SessionPath()))));
    m_pKeys->clear();
    for (const RemoteKey& key : m_map.keys) {
        new QTreeWidgetItem(m_pKeys, {QString::fromStdString(key.name),
                                      QString::fromStdString(KeyPlace(key)), Waiting()});
    }
    // Name and place as wide as their longest text, with room to tell them apart.
    const int gap = 2 * m_pKeys->fontMetrics().averageCharWidth();
    for (int column = 0; column < STATUS_COLUMN; ++column) {
        m_pKeys->resizeColumnToContents(column);
        m_pKeys->setColumnWidth(column, m_pKeys->columnWidth(column) + gap);
    }
}

int CLearnRemoteDlg::RowOf(const RemoteKey& key) const {
    const RemoteKey* found = m_map.Find(key.name);
    return found == nullptr ? -1 : static_cast<int>(found - m_map.keys.data());
}

void CLearnRemoteDlg::ShowResume(size_t learned, size_t total) {
    if (learned > 0) {
        m_pStatus->setText(
            QStringLiteral("resuming: %1 of %2 learned").arg(learned).arg(Keys(total)));
    }
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
    m_pStatus->setText(QString::fromStdString(text));
}

void CLearnRemoteDlg::ShowKey(const RemoteKey& key, const KeyLearnResult& result) {
    QTreeWidgetItem* item = m_pKeys->topLevelItem(RowOf(key));
    // A key the walk ended on, or never reached, still waits for a next run.
    if (item != nullptr && result.outcome != KeyLearnResult::Outcome::NotReached) {
        item->setText(STATUS_COLUMN, QString::fromLatin1(KeyOutcomeText(result.outcome)));
    }
}

void CLearnRemoteDlg::ShowSummary(const LearnRemoteResult& result) {
    const size_t total = result.keys.size();
    const auto skipped = std::count_if(result.keys.begin(), result.keys.end(), [](const auto& k) {
        return k.outcome == KeyLearnResult::Outcome::Skipped;
    });
    QString text =
        QStringLiteral("%1 of %2 learned").arg(total - result.Missing()).arg(Keys(total));
    if (skipped > 0) {
        text += QStringLiteral(", %1 skipped").arg(skipped);
    }
    if (result.outcome != JobOutcome::Complete) {
        text += QStringLiteral(", stopped");
        if (!result.problem.empty()) {
            text += QStringLiteral(": ") + QString::fromStdString(result.problem);
        }
    }
    m_pStatus->setText(text);
}
