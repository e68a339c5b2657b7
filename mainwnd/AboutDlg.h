#pragma once

#include <QDialog>

class QLabel;

// The about box: the program icon, the title text with the version and the
// copyright line, and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QString TitleLine() const;
    QString CopyrightLine() const;

private:
    QLabel* m_pTitle;
    QLabel* m_pCopyright;
};
