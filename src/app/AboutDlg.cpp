#include "AboutDlg.h"

#include "DialogUnits.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(QStringLiteral("About Lumaret"));
    setFont(DialogFont());
    const DialogBaseUnits du = BaseUnitsOf(font());
    setFixedSize(DialogSize(du, 235, 55));

    auto* icon = new QLabel(this);
    const QRect iconRect = DialogRect(du, 11, 17, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(QIcon(QStringLiteral(":/lumaret.png")).pixmap(iconRect.size()));

    auto* name = new QLabel(QStringLiteral("Lumaret Version 1.0"), this);
    name->setObjectName(QStringLiteral("IDC_ABOUT_NAME"));
    name->setTextFormat(Qt::PlainText);
    name->setGeometry(DialogRect(du, 40, 10, 119, 8));

    auto* line = new QLabel(QStringLiteral("Infrared learning module tool"), this);
    line->setTextFormat(Qt::PlainText);
    line->setGeometry(DialogRect(du, 40, 25, 119, 8));

    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pOk->setObjectName(QStringLiteral("IDOK"));
    m_pOk->setGeometry(DialogRect(du, 178, 7, 50, 14));
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    m_pOk->setFocus();
}
