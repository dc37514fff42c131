#pragma once

#include "FilterEdits.h"
#include "LogEdit.h"
#include "PortList.h"
#include "PortMonitor.h"
#include "PortRegistry.h"
#include "Prompts.h"
#include "Resource.h"
#include "UiThreadCalls.h"
#include "WorkEvent.h"

#include "ExchangeTiming.h"
#include "LearnAnswer.h"
#include "SafeFileWriter.h"
#include "SerialLink.h"

#include <QBasicTimer>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QIcon>
#include <QPointer>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CDialogJobView;
class CLearnRemoteDlg;
class CModuleMapDlg;
class QLineEdit;
class QMenu;
class QPushButton;

// WM_TRANSFER_PROGRESS as a Qt event: a worker moves the progress bar with
// it, sent on the UI thread while the worker waits for it.
class CTransferProgressEvent : public QEvent {
public:
    static constexpr QEvent::Type TYPE = static_cast<QEvent::Type>(WM_TRANSFER_PROGRESS);
    explicit CTransferProgressEvent(intptr_t wParam, intptr_t lParam = 0)
        : QEvent(TYPE), m_wParam(wParam), m_lParam(lParam) {}

    intptr_t m_wParam;
    intptr_t m_lParam;
    intptr_t m_result = 0;
};

// Starts a transfer's worker thread; nullptr when it cannot be created.
using ThreadStarter = std::function<std::unique_ptr<std::thread>(std::function<void()>)>;
std::unique_ptr<std::thread> StartThread(std::function<void()> work);

// What the dialog is given from outside: where the port list comes from, who
// shows boxes and file dialogs, the pauses of the exchanges and how workers
// start. The program passes the device map, the Qt prompts, the fixed timing
// and std::thread; tests their own.
struct DialogServices {
    IPortRegistry* registry = nullptr;
    IPrompts* prompts = nullptr;
    ExchangeTiming timing = FixedTiming();
    ThreadStarter startThread = StartThread;
};

// A port-list item's tooltip: its device and, for an adapter, who made it.
QString PortToolTip(const PortListItem& item);

// The main dialog, the whole user interface of the program.
class CLumaretDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLumaretDlg(QWidget* parent = nullptr);
    CLumaretDlg(const DialogServices& services, QWidget* parent = nullptr);
    ~CLumaretDlg() override;

    // Builds the controls from the template and runs OnInitDialog; DoModal does
    // this itself, tests call it to show the dialog without a modal loop.
    bool Create();
    int DoModal();

    // Copies the log's text into m_strLog (true) or m_strLog into the log (false).
    void UpdateData(bool bSaveAndValidate);

    // Read-only views of the state, for tests and tools.
    bool IsPortOpen() const { return m_bPortOpen != 0; }
    bool IsLearnPending() const { return m_learnTimer.isActive(); }
    int32_t LearnHeld() const { return m_learn.Held(); }
    int32_t LearnTicks() const { return m_learn.PollsLeft(); }
    const std::array<uint8_t, 8>& LearnReply() const { return m_learn.Reply(); }
    int32_t Importing() const { return m_bImporting.load(); }
    int32_t Exporting() const { return m_bExporting.load(); }
    const QString& LogString() const { return m_strLog; }
    // The learn dialog while it is open, else nullptr.
    CLearnRemoteDlg* LearnRemoteDialog() const;
    // The map dialog while it is open, else nullptr.
    CModuleMapDlg* ModuleMapDialog() const;

    // The icon a minimised window shows while it is dragged.
    QIcon OnQueryDragIcon() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    void OnSysCommand(unsigned id, intptr_t lParam);
    // A minimised window paints its icon centred; otherwise the dialog paints as usual.
    void OnPaint(QPaintEvent* event);
    void OnTimer(int idEvent);
    intptr_t OnTransferProgress(intptr_t wParam, intptr_t lParam);
    void OnOpenPort();
    void OnGetVersion();
    void OnReadKey();
    void OnSendKey();
    void OnExportDatabase();
    void OnImportDatabase();
    void OnLearnKey();
    // "Learn a remote...": opens the learn dialog, or brings it to the front.
    void OnLearnRemote();
    void OnLearnRemoteRunning(bool running);
    // "Module map...": the map dialog, modal, reading the module when the port is open.
    void OnModuleMap();

    static unsigned ExportThreadProc(void* pParam);
    static unsigned ImportThreadProc(void* pParam);

private:
    friend class CDialogJobView;

    // Enables the command buttons for the state: one exchange at a time on
    // the line, so a running transfer, a pending learn or a walk through a
    // remote holds the others off.
    void UpdateCommandStates();
    void RunExport();
    void RunImport();
    // The steps both transfers share: the second click that cancels (false
    // when the transfer is not running), the start-up handshake with its
    // worker (false after "Create Thread Fail"), and the worker's closing
    // steps after its last log text.
    bool CancelTransfer(std::atomic<int32_t>& running, QPushButton* button, const char* caption);
    bool StartTransfer(std::unique_ptr<std::thread>& worker, std::atomic<int32_t>& running,
                       QPushButton* button, unsigned (*threadProc)(void*));
    void EndTransfer(std::atomic<int32_t>& running, CDialogJobView& view, const char* caption,
                     std::unique_ptr<std::thread>& worker);
    // Runs on the UI thread once a worker has gone through its closing steps.
    void OnWorkerEnded(std::unique_ptr<std::thread>& worker);

    void CreateControls();
    // The context menu that stands in for the window menu, and the handler table.
    void ConnectHandlers();
    void FillPortList();
    // Ports that come and go while the program runs (PortListRefill.cpp):
    // the monitor is watched from the start; the list is filled again while
    // the port is closed, or once it closes.
    void StartPortMonitor();
    void OnPortsChanged();
    void RefillPortList();
    void MessageBox(const QString& text);
    // The guards the commands start with: false, after their message box,
    // while the port is closed or the Key No lies outside 1-100.
    bool RequireOpenPort();
    bool ReadKeyNumber(int32_t& keyNumber);
    int32_t GetDlgItemInt(int id) const;

    // The log steps the handlers share.
    void ClearLog();
    void WriteLog(const QString& text);
    void AppendLog(const QString& text);

    // Disable a command button for its run; enabling it again gives the focus
    // back when the button had it, since Qt moves the focus off a disabled widget.
    QWidget* DisableCommand(QPushButton* button);
    void EnableCommand(QPushButton* button, QWidget* focusHeir);

    // The members of the dialog, in this order.
    myedit2 m_editKeyNo;
    myedit m_editChannel;
    QProgressBar m_progress;
    CLogEdit m_editLog;
    QComboBox m_comboPort;
    CSerialLink m_serial;
    QString m_strLog;
    // The export's file until it is put in place.
    std::unique_ptr<CSafeFileWriter> m_pExportFile;
    std::unique_ptr<CAutoResetEvent> m_hWorkEvent;
    QString m_strExportPath;
    std::vector<std::string> m_importLines;
    // The learn answer gathered from the polls: what is held and the empty
    // polls left.
    CLearnAnswer m_learn;
    std::atomic<int32_t> m_bImporting{0};
    std::atomic<int32_t> m_bExporting{0};
    QIcon m_hIcon;
    std::unique_ptr<std::thread> m_pImportThread;
    std::unique_ptr<std::thread> m_pExportThread;
    int32_t m_bPortOpen = 0;

    // Beyond the dialog's own members: its services and the child controls
    // that have no member of their own (the dialog's parentage owns those).
    std::unique_ptr<IPortRegistry> m_ownRegistry;
    std::unique_ptr<IPrompts> m_ownPrompts;
    IPortRegistry* m_pRegistry = nullptr;
    IPrompts* m_pPrompts = nullptr;
    ExchangeTiming m_timing;
    ThreadStarter m_startThread;
    // The workers' way to the UI thread; closed first when the dialog goes.
    CUiThreadCalls m_uiCalls;
    QSocketNotifier m_uiCallNotifier{m_uiCalls.WakeFd(), QSocketNotifier::Read};

    QPushButton* m_pOpen = nullptr;
    QPushButton* m_pGetVersion = nullptr;
    QPushButton* m_pExport = nullptr;
    QPushButton* m_pImport = nullptr;
    QPushButton* m_pRead = nullptr;
    QPushButton* m_pLearn = nullptr;
    QPushButton* m_pSend = nullptr;
    QLineEdit* m_pVersion = nullptr;
    QMenu* m_pSysMenu = nullptr;
    QBasicTimer m_learnTimer;
    std::unique_ptr<CPortMonitor> m_pPortMonitor;
    // Declared after the monitor, so that it goes first.
    std::unique_ptr<QSocketNotifier> m_pPortNotifier;
    bool m_bPortListStale = false;
    QPointer<QWidget> m_pLearnFocusHeir;
    // The learn dialog, lent the line; it goes when it is closed.
    QPointer<CLearnRemoteDlg> m_pLearnRemoteDlg;
    bool m_bLearningRemote = false;
    QPointer<CModuleMapDlg> m_pModuleMapDlg;
    bool m_bCreated = false;
};
