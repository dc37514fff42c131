// The main dialog's template: its controls, where they stand in dialog units,
// their tab order, and the handler table that wires the buttons.

#include "LumaretDlg.h"

#include "DialogUnits.h"
#include "LearnRemoteDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <iterator>

namespace {

// Static text of the template: left-aligned, vertically centred, no wrap.
QLabel* AddStatic(QWidget* parent, const DialogBaseUnits& du, const char* text, int x, int y, int w,
                  int h) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    label->setGeometry(DialogRect(du, x, y, w, h));
    return label;
}

QPushButton* AddButton(QWidget* parent, const DialogBaseUnits& du, const char* name,
                       const char* caption, int x, int y, int w, int h) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    // No default button: Enter clicks only the button that has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(DialogRect(du, x, y, w, h));
    return button;
}

// A field of the template: parented, named for tests and screen readers, placed.
void AddField(QWidget& field, QWidget* parent, const DialogBaseUnits& du, const char* name,
              const char* accessibleName, QRect rect) {
    field.setParent(parent);
    field.setObjectName(QString::fromLatin1(name));
    field.setAccessibleName(QString::fromLatin1(accessibleName));
    field.setGeometry(DialogRect(du, rect.x(), rect.y(), rect.width(), rect.height()));
}

} // namespace

// Template IDD_MAIN_DIALOG: 189 x 252 dialog units, controls in tab order.
void CLumaretDlg::CreateControls() {
    setObjectName(QStringLiteral("IDD_MAIN_DIALOG"));
    setWindowTitle(QStringLiteral("Lumaret V1.1.0"));
    setFont(DialogFont());
    const DialogBaseUnits du = BaseUnitsOf(font());
    setFixedSize(DialogSize(du, 189, 252));

    AddField(m_comboPort, this, du, "IDC_PORT", "Port", QRect(54, 13, 70, 98));
    m_comboPort.setEditable(false);
    m_comboPort.setFocusPolicy(Qt::StrongFocus);
    {
        // 98 units is the height with the list dropped down.
        QRect rect = DialogRect(du, 54, 13, 70, 98);
        const int fieldHeight =
            std::max(DialogUnitsToPixelsY(du, 12), m_comboPort.sizeHint().height());
        const int itemHeight = std::max(1, m_comboPort.fontMetrics().height() + 2);
        m_comboPort.setMaxVisibleItems(std::max(1, (rect.height() - fieldHeight) / itemHeight));
        rect.setHeight(fieldHeight);
        m_comboPort.setGeometry(rect);
    }
    QLabel* portLabel = AddStatic(this, du, "Port:", 27, 13, 22, 12);
    m_pOpen = AddButton(this, du, "IDC_OPEN", "Open", 133, 11, 40, 15);
    QLabel* versionLabel = AddStatic(this, du, "Version:", 15, 38, 36, 12);
    m_pGetVersion = AddButton(this, du, "IDC_GET_VERSION", "Get", 133, 35, 40, 15);
    AddStatic(this, du, "Database:", 11, 60, 36, 12);
    m_pExport = AddButton(this, du, "IDC_EXPORT", "Export", 72, 56, 40, 15);
    m_pImport = AddButton(this, du, "IDC_IMPORT", "Import", 133, 56, 40, 15);
    QLabel* channelLabel = AddStatic(this, du, "Channel:", 15, 89, 36, 12);

    AddField(m_editChannel, this, du, "IDC_CHANNEL", "Channel", QRect(53, 89, 120, 12));
    QLabel* keyLabel = AddStatic(this, du, "Key No:", 19, 107, 31, 12);
    AddField(m_editKeyNo, this, du, "IDC_KEY_NO", "Key No", QRect(53, 107, 120, 12));

    m_pRead = AddButton(this, du, "IDC_READ", "Read", 14, 126, 40, 15);
    m_pLearn = AddButton(this, du, "IDC_LEARN", "Learn", 73, 126, 40, 15);
    m_pSend = AddButton(this, du, "IDC_SEND", "Send", 132, 126, 40, 15);

    AddField(m_editLog, this, du, "IDC_LOG", "Log", QRect(13, 146, 161, 92));

    m_pVersion = new QLineEdit(this);
    AddField(*m_pVersion, this, du, "IDC_VERSION", "Version", QRect(54, 38, 69, 12));
    m_pVersion->setEnabled(false);
    m_pVersion->setFocusPolicy(Qt::NoFocus);

    AddField(m_progress, this, du, "IDC_PROGRESS", "Progress", QRect(15, 76, 157, 7));
    m_progress.setWindowTitle(QStringLiteral("Progress1"));
    m_progress.setTextVisible(false);
    m_progress.setRange(0, 100);
    m_progress.setValue(0);

    // Each label names its field for screen readers.
    portLabel->setBuddy(&m_comboPort);
    versionLabel->setBuddy(m_pVersion);
    channelLabel->setBuddy(&m_editChannel);
    keyLabel->setBuddy(&m_editKeyNo);

    QWidget* order[] = {&m_comboPort, m_pOpen, m_pGetVersion, m_pExport, m_pImport, &m_editChannel,
                        &m_editKeyNo, m_pRead, m_pLearn,      m_pSend,   &m_editLog};
    for (size_t i = 1; i < std::size(order); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    ConnectHandlers();
}

void CLumaretDlg::ConnectHandlers() {
    // The window menu, which Linux window managers keep to themselves: the
    // dialog's context menu stands in for it.
    m_pSysMenu = new QMenu(this);
    m_pSysMenu->setObjectName(QStringLiteral("SystemMenu"));
    QAction* close = m_pSysMenu->addAction(QStringLiteral("&Close"));
    close->setData(SC_CLOSE);
    m_pSysMenu->addSeparator();
    QAction* learnRemote = m_pSysMenu->addAction(QStringLiteral("Learn a remote\u2026"));
    learnRemote->setObjectName(QStringLiteral("IDM_LEARN_REMOTE"));
    learnRemote->setData(IDM_LEARN_REMOTE);
    QAction* moduleMap = m_pSysMenu->addAction(QStringLiteral("Module map\u2026"));
    moduleMap->setObjectName(QStringLiteral("IDM_MODULE_MAP"));
    moduleMap->setData(IDM_MODULE_MAP);
    connect(m_pSysMenu, &QMenu::triggered, this,
            [this](QAction* action) { OnSysCommand(action->data().toUInt(), 0); });
    // Closing the window closes the learn dialog, which stops its walk.
    connect(this, &QDialog::finished, this, [this] {
        if (m_pLearnRemoteDlg) {
            m_pLearnRemoteDlg->reject();
        }
    });

    // The handler table, in its order.
    connect(m_pOpen, &QPushButton::clicked, this, &CLumaretDlg::OnOpenPort);
    connect(m_pGetVersion, &QPushButton::clicked, this, &CLumaretDlg::OnGetVersion);
    connect(m_pRead, &QPushButton::clicked, this, &CLumaretDlg::OnReadKey);
    connect(m_pSend, &QPushButton::clicked, this, &CLumaretDlg::OnSendKey);
    connect(m_pExport, &QPushButton::clicked, this, &CLumaretDlg::OnExportDatabase);
    connect(m_pImport, &QPushButton::clicked, this, &CLumaretDlg::OnImportDatabase);
    connect(m_pLearn, &QPushButton::clicked, this, &CLumaretDlg::OnLearnKey);
}
