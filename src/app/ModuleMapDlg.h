#pragma once

#include "DialogWorker.h"
#include "Prompts.h"

#include "ExchangeTiming.h"
#include "FileLines.h"
#include "RemoteMap.h"
#include "SlotMap.h"

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class CSerialLink;
class CSlotGrid;
class QLabel;
class QProgressBar;
class QPushButton;

// What the main window lends the map dialog: its line and the line's
// timing, its prompts, how it starts workers, its port guard (false, after
// the window's "Port Close" box, while the port is closed), and whether no
// transfer or learn of its own uses the line.
struct ModuleMapLine {
    CSerialLink& link;
    ExchangeTiming timing;
    IPrompts& prompts;
    std::function<std::unique_ptr<std::thread>(std::function<void()>)> startThread;
    std::function<bool()> requireOpenPort;
    std::function<bool()> lineFree;
};

// "Module map": every slot of the module, read on a worker with the
// export's reads (progress and Stop), or of a database file, drawn as a grid;
// compared with a file and named by a remote map on request, and saved as a
// PNG picture. Closing it stops a read and joins its worker.
class CModuleMapDlg : public QDialog {
    Q_OBJECT
public:
    CModuleMapDlg(ModuleMapLine line, QWidget* parent);
    ~CModuleMapDlg() override;

    // Starts reading the module; false (after saying why) when it cannot.
    bool ReadModule();
    bool IsRunning() const { return m_worker.Running(); }
    const CSlotGrid& Grid() const { return *m_pGrid; }
    // The grid with its counts, as "Save picture..." saves it.
    QWidget* Picture() const { return m_pPicture; }

protected:
    void done(int result) override;

private:
    void CreateControls();
    void UpdateControls();
    void OnOpenFile();
    void OnCompare();
    void OnRemoteMap();
    void OnSavePicture();
    // The map read, compared and named as chosen, into the grid and the counts.
    void Show(SlotMap map);
    void OnReadEnded(const SlotMapRead& read);
    bool StopWorker();
    // A database file's slots; false after a box when it cannot be read.
    bool ReadFileSlots(const QString& path, SlotContent& content);

    ModuleMapLine m_line;
    SlotMap m_map;
    std::optional<SlotContent> m_against;
    RemoteMap m_names;

    std::atomic<int32_t> m_running{0};
    CDialogWorker m_worker{this};

    QLabel* m_pSource = nullptr;
    QWidget* m_pPicture = nullptr;
    CSlotGrid* m_pGrid = nullptr;
    QLabel* m_pCounts = nullptr;
    QLabel* m_pCurrent = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pRead = nullptr;
    QPushButton* m_pStop = nullptr;
    QPushButton* m_pOpen = nullptr;
    QPushButton* m_pCompare = nullptr;
    QPushButton* m_pRemoteMap = nullptr;
    QPushButton* m_pSave = nullptr;
    QPushButton* m_pClose = nullptr;
};
