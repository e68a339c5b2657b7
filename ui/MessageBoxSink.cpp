#include "ui/MessageBoxSink.h"

#include "base/ApplicationName.h"

#include <QApplication>
#include <QMessageBox>

void CMessageBoxSink::ShowMessage(const QString& text) {
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    // Message texts break lines with CR LF; the box wants plain line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Warning, ApplicationName(), shown, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
