#pragma once

#include "DialogWorker.h"
#include "Prompts.h"

#include "ExchangeTiming.h"
#include "LearnRemoteJob.h"
#include "RemoteMap.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CLearnRemoteView;
class CSerialLink;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// What the main window lends the learn dialog: its line and the line's
// timing, its prompts, how it starts workers, its port guard (false, after
// the window's "Port Close" box, while the port is closed) and the name of
// the open port (empty while none is open).
struct LearnRemoteLine {
    CSerialLink& link;
    ExchangeTiming timing;
    IPrompts& prompts;
    std::function<std::unique_ptr<std::thread>(std::function<void()>)> startThread;
    std::function<bool()> requireOpenPort;
    std::function<QString()> portName;
};

// "Learn a remote": walks a remote map key by key on a worker thread,
// prompting for each key and keeping the codes in the map's session file
// (MAP.session), so that a walk broken off resumes where it ended. Each row
// can try its key (a Send of its slot) or learn it again.
// Closing the dialog stops a walk and joins its worker; the session keeps
// every key learned so far.
class CLearnRemoteDlg : public QDialog {
    Q_OBJECT
public:
    CLearnRemoteDlg(LearnRemoteLine line, QWidget* parent);
    ~CLearnRemoteDlg() override;

    // Asks for a map with the file dialog and lists its keys. A map with
    // faults is refused with every fault and its line in a box, and the
    // keys listed before stay. False when no map was taken.
    bool ChooseMap();
    // The main window's word on the line: false while a transfer or a learn
    // of its own uses it, and Start waits.
    void SetLineFree(bool free);
    bool IsRunning() const { return m_worker.Running(); }

signals:
    // A walk has started (true), or it has ended and its worker is gone (false).
    void RunningChanged(bool running);

protected:
    // Every way of closing the dialog comes here: a running walk stops first.
    void done(int result) override;

private:
    friend class CLearnRemoteView;
    enum KeyColumn { NAME_COLUMN, PLACE_COLUMN, BYTES_COLUMN, STATUS_COLUMN, ACTIONS_COLUMN };
    class CSerialLink;

    void CreateControls();
    // Lists the map's keys, each waiting, with the length of the code the
    // session holds, and sizes the columns so that every row fits.
    void ListKeys();
    void AddRowButtons(QTreeWidgetItem* item, int row);
    // Where the map's session is kept, as the command line keeps it by default.
    std::string SessionPath() const;
    void UpdateControls();

    void OnStart();
    // Starts a walk; only: the rows to learn again (empty: the whole map).
    void StartWalk(std::vector<size_t> only);
    void OnTry(int row);
    void OnStop();
    // On the worker: the walk through the map, its events shown on the UI thread.
    void RunWalk(const RemoteMap& map, const std::string& sessionPath,
                 const LearnRemoteOptions& options);
    // On the UI thread once the walk has ended: joins its worker.
    void OnWorkerEnded();
    // Stops a running walk and joins its worker; its last events are dropped.
    // False when none ran.
    bool StopWorker();

    // What the walk shows (LearnRemoteView.cpp), on the UI thread.
    void ShowResume(size_t inSession, size_t onModule, size_t total);
    void ShowPrompt(const RemoteKey& key, int capture, uint32_t waitMs);
    void ShowWaitEnded();
    void ShowNote(const std::string& text);
    // gaveUp: its tries ran out.
    void ShowKey(const RemoteKey& key, const KeyLearnResult& result, bool gaveUp);
    void SetStatus(int row, const QString& status);
    void ShowSummary(const LearnRemoteResult& result);
    void OnCountdownTick();
    int RowOf(const RemoteKey& key) const;

    LearnRemoteLine m_line;
    QString m_mapPath;
    RemoteMap m_map;
    bool m_bLineFree = true;
    bool m_bKeyWaits = false;
    bool m_bNoteShown = false; // the status line holds a note on one key

    // Shared with the worker.
    std::atomic<int32_t> m_running{0};
    LearnRemoteControl m_control;
    // The walk's thread; its calls are dropped once the walk is stopped from here.
    CDialogWorker m_worker{this};

    // The time left of the learn that waits, shown every 100 ms while it waits.
    QTimer m_countdown;
    QElapsedTimer m_waitClock;
    uint32_t m_waitMs = 0;

    QLabel* m_pPort = nullptr;
    QLabel* m_pMap = nullptr;
    QPushButton* m_pChooseMap = nullptr;
    QTreeWidget* m_pKeys = nullptr;
    QLabel* m_pPrompt = nullptr;
    QProgressBar* m_pTimeLeft = nullptr;
    QPushButton* m_pSkip = nullptr;
    QPushButton* m_pRedo = nullptr;
    QPushButton* m_pStop = nullptr;
    QCheckBox* m_pConfirm = nullptr;
    QLabel* m_pStatus = nullptr;
    QPushButton* m_pStart = nullptr;
    QPushButton* m_pClose = nullptr;
};
