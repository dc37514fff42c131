#pragma once

#include <QDialog>

class QPushButton;

// Template 100: the icon, two lines of text and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    int DoModal() { return exec(); }

private:
    QPushButton* m_pOk = nullptr;
};
