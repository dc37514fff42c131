#include "LumaretDlg.h"

#include "ComName.h"
#include "DialogUnits.h"
#include "FieldValue.h"
#include "LearnRemoteDlg.h"
#include "ModuleMapDlg.h"
#include "PortList.h"
#include "PortNamesFile.h"
#include "ShownText.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimerEvent>

#include "AboutDlg.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static void LoadLumaretResources() {
    Q_INIT_RESOURCE(lumaret);
}

namespace {

DialogServices DefaultServices() {
    return DialogServices{};
}

} // namespace

CLumaretDlg::CLumaretDlg(QWidget* parent) : CLumaretDlg(DefaultServices(), parent) {}

CLumaretDlg::CLumaretDlg(const DialogServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_timing(services.timing), m_startThread(services.startThread) {
    LoadLumaretResources();
    m_pRegistry = services.registry;
    if (m_pRegistry == nullptr) {
        m_ownRegistry = std::make_unique<CDeviceMapRegistry>();
        m_pRegistry = m_ownRegistry.get();
    }
    m_pPrompts = services.prompts;
    if (m_pPrompts == nullptr) {
        m_ownPrompts = std::make_unique<CQtPrompts>();
        m_pPrompts = m_ownPrompts.get();
    }
    m_strLog.clear();
    m_hIcon = QIcon(QStringLiteral(":/lumaret.png"));
    connect(&m_uiCallNotifier, &QSocketNotifier::activated, this,
            [this] { m_uiCalls.RunPending(); });
}

CLumaretDlg::~CLumaretDlg() {
    m_learnTimer.stop();
    // The learn dialog stops its walk and joins its worker while the line is still here.
    if (m_pLearnRemoteDlg) {
        m_pLearnRemoteDlg->disconnect(this);
        delete m_pLearnRemoteDlg.data();
    }
    delete m_pModuleMapDlg.data(); // its read, too, ends while the line is here
    // A transfer still running is told to stop and joined before the members
    // go; its calls on the dialog are dropped from now on, so it cannot wait
    // on this thread while this thread waits for it.
    m_uiCalls.Close();
    m_bImporting = 0;
    m_bExporting = 0;
    if (m_hWorkEvent) {
        m_hWorkEvent->Set();
    }
    for (std::unique_ptr<std::thread>* worker : {&m_pImportThread, &m_pExportThread}) {
        if (*worker && (*worker)->joinable()) {
            (*worker)->join();
        }
    }
}

bool CLumaretDlg::Create() {
    if (m_bCreated) {
        return true;
    }
    m_bCreated = true;
    CreateControls();
    if (OnInitDialog()) {
        // The first tab stop takes the focus.
        m_comboPort.setFocus(Qt::OtherFocusReason);
    }
    return true;
}

int CLumaretDlg::DoModal() {
    Create();
    return exec();
}

void CLumaretDlg::UpdateData(bool bSaveAndValidate) {
    if (bSaveAndValidate) {
        m_strLog = m_editLog.toPlainText();
    } else {
        m_editLog.setPlainText(m_strLog);
    }
}

bool CLumaretDlg::OnInitDialog() {
    // The base dialog's part: the first data exchange.
    UpdateData(false);

    if (m_pSysMenu != nullptr) {
        const QString about = QString::fromLatin1(STR_ABOUTBOX);
        if (!about.isEmpty()) {
            m_pSysMenu->addSeparator();
            QAction* item = m_pSysMenu->addAction(about);
            item->setObjectName(QStringLiteral("IDM_ABOUTBOX"));
            item->setData(IDM_ABOUTBOX);
        }
    }

    m_bPortOpen = 0;
    m_bImporting = 0;
    m_bExporting = 0;

    m_editChannel.setMaxLength(1);
    m_editKeyNo.setMaxLength(3);
    m_editChannel.setText(QStringLiteral("1"));
    m_editKeyNo.setText(QStringLiteral("1"));

    FillPortList();
    StartPortMonitor();

    m_hWorkEvent = std::make_unique<CAutoResetEvent>(false);

    setWindowIcon(m_hIcon);
    return true;
}

void CLumaretDlg::MessageBox(const QString& text) {
    m_pPrompts->MessageBox(this, text);
}

int32_t CLumaretDlg::GetDlgItemInt(int id) const {
    switch (id) {
    case IDC_CHANNEL:
        return SignedFieldValue(m_editChannel.text());
    case IDC_KEY_NO:
        return SignedFieldValue(m_editKeyNo.text());
    default:
        return 0;
    }
}

void CLumaretDlg::FillPortList() {
    m_comboPort.clear();
    const PortListWalk walk = WalkPortList(*m_pRegistry);
    for (const std::string& message : walk.messages) {
        MessageBox(QString::fromLatin1(message.c_str()));
    }
    // The names file's faults, once, as the port list's own messages are told.
    for (const PortNamesFault& fault : ReadPortNames(ReadLocalDeviceMap()).faults) {
        MessageBox(QString::fromUtf8(ShownText(PortNamesFaultText(fault)).c_str()));
    }
    for (const PortListItem& item : walk.items) {
        m_comboPort.addItem(QString::fromLatin1(item.comName.c_str()));
        m_comboPort.setItemData(m_comboPort.count() - 1, PortToolTip(item), Qt::ToolTipRole);
    }
    m_comboPort.setCurrentIndex(m_comboPort.count() > 0 ? 0 : -1);
}

void CLumaretDlg::OnOpenPort() {
    if (m_bPortOpen != 0) {
        m_serial.Close();
        m_bPortOpen = 0;
        m_pOpen->setText(QStringLiteral("Open"));
        UpdateCommandStates();
        if (m_bPortListStale) {
            RefillPortList();
        }
        return;
    }
    const uint8_t port = PortNumberOfItem(m_comboPort.currentText().toStdString());
    if (m_serial.Open(port, 9600, 'N', 8, 0)) {
        m_serial.SetTimeouts(m_timing.lineTimeouts);
        m_bPortOpen = 1;
        m_pOpen->setText(QStringLiteral("Close"));
    } else {
        MessageBox(QStringLiteral("Open Fail"));
    }
}

void CLumaretDlg::OnSysCommand(unsigned id, intptr_t lParam) {
    (void)lParam;
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.DoModal();
        return;
    }
    if ((id & 0xFFF0u) == IDM_LEARN_REMOTE) {
        OnLearnRemote();
        return;
    }
    if ((id & 0xFFF0u) == IDM_MODULE_MAP) {
        OnModuleMap();
        return;
    }
    if ((id & 0xFFF0u) == SC_CLOSE) {
        OnCancel();
    }
}

void CLumaretDlg::OnPaint(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // The iconic background is erased first, then the icon drawn over it.
    painter.fillRect(rect(), palette().window());
    const int iconWidth = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    const int iconHeight = iconWidth;
    const QRect client = rect();
    const int x = (client.width() - iconWidth + 1) / 2;
    const int y = (client.height() - iconHeight + 1) / 2;
    m_hIcon.paint(&painter, x, y, iconWidth, iconHeight);
}

QIcon CLumaretDlg::OnQueryDragIcon() const {
    return m_hIcon;
}

intptr_t CLumaretDlg::OnTransferProgress(intptr_t wParam, intptr_t lParam) {
    (void)lParam;
    m_progress.setValue(static_cast<int>(wParam));
    return 1;
}

void CLumaretDlg::OnOK() {
    UpdateData(true);
    accept();
}

void CLumaretDlg::OnCancel() {
    reject();
}

bool CLumaretDlg::event(QEvent* event) {
    if (event->type() == CTransferProgressEvent::TYPE) {
        auto* progress = static_cast<CTransferProgressEvent*>(event);
        progress->m_result = OnTransferProgress(progress->m_wParam, progress->m_lParam);
        return true;
    }
    return QDialog::event(event);
}

void CLumaretDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter clicks the focused push button; anywhere else it is IDOK.
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
            button != nullptr && button->window() == this) {
            if (button->isEnabled()) {
                button->click();
            }
        } else {
            OnOK();
        }
        event->accept();
        return;
    case Qt::Key_Escape:
        OnCancel();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CLumaretDlg::contextMenuEvent(QContextMenuEvent* event) {
    m_pSysMenu->popup(event->globalPos());
    event->accept();
}

void CLumaretDlg::paintEvent(QPaintEvent* event) {
    OnPaint(event);
}

void CLumaretDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_learnTimer.timerId()) {
        OnTimer(LEARN_TIMER_ID);
        return;
    }
    QDialog::timerEvent(event);
}

QWidget* CLumaretDlg::DisableCommand(QPushButton* button) {
    const bool hadFocus = button->hasFocus();
    button->setEnabled(false);
    if (!hadFocus) {
        return nullptr;
    }
    QWidget* heir = QApplication::focusWidget();
    return heir != nullptr ? heir : button;
}

void CLumaretDlg::EnableCommand(QPushButton* button, QWidget* focusHeir) {
    button->setEnabled(true);
    // Take the focus back only from where Qt put it, not from where the operator moved it.
    if (focusHeir != nullptr && (focusHeir == button || QApplication::focusWidget() == focusHeir ||
                                 QApplication::focusWidget() == nullptr)) {
        button->setFocus(Qt::OtherFocusReason);
    }
}

void CLumaretDlg::ClearLog() {
    m_strLog.clear();
    UpdateData(false);
}

void CLumaretDlg::WriteLog(const QString& text) {
    m_editLog.ReplaceSel(text);
}

void CLumaretDlg::AppendLog(const QString& text) {
    const int length = m_editLog.GetWindowTextLength();
    m_editLog.SetSel(length, length);
    m_editLog.ScrollCaret();
    m_editLog.ReplaceSel(text);
}
