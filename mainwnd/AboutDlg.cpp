#include "mainwnd/AboutDlg.h"

#include "base/VersionInfo.h"
#include "ui/DialogUnits.h"
#include "ui/ProgramResources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral(u"バージョン情報"));
    setFont(DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(294, 55));

    // An icon control takes the icon's own size.
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    icon->setGeometry(QRect(units.ToPixels(11, 17, 0, 0).topLeft(), QSize(32, 32)));

    CVersionInfo info;
    info.Load();
    m_pTitle = new QLabel(TitleText(info), this);
    m_pTitle->setTextFormat(Qt::PlainText);
    units.Place(m_pTitle, 40, 10, 171, 8);
    m_pCopyright = new QLabel(info.GetLegalCopyright(), this);
    m_pCopyright->setTextFormat(Qt::PlainText);
    units.Place(m_pCopyright, 40, 37, 146, 8);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    units.Place(ok, 237, 7, 50, 16);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString CAboutDlg::TitleLine() const {
    return m_pTitle->text();
}

QString CAboutDlg::CopyrightLine() const {
    return m_pCopyright->text();
}
