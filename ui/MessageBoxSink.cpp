#include "ui/MessageBoxSink.h"

#include "base/ApplicationName.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButton ShowBox(const QString& text, QMessageBox::StandardButtons buttons) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    // Message texts break lines with CR LF; the box wants plain line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Warning, ApplicationName(), shown, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    // A box shown while the program is busy reading or writing a file wants
    // an answer: it gets the normal pointer, and the wait cursor comes back
    // after it.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return QMessageBox::StandardButton(answer);
}

} // namespace

void CMessageBoxSink::ShowMessage(const QString& text) {
    ShowBox(text, QMessageBox::Ok);
}

bool CMessageBoxSink::AskYesNo(const QString& text) {
    return ShowBox(text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}
