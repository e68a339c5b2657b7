#include "mainwnd/StatusLog.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

CStatusLog::CStatusLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
}

int CStatusLog::TextLength() const {
    return document()->characterCount() - 1;
}

void CStatusLog::AppendLog(const QString& message) {
    // Messages end lines with CR LF; the document breaks lines at LF only.
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    const int limit = kTextLimit - 5;
    if (text.size() >= limit)
        text = text.right(limit - 1);

    int length = TextLength();
    if (length > 0 && length + text.size() >= limit) {
        // Count the leading lines that must go, then remove them in one
        // edit. Each block's length includes its line break; the last block
        // has none, so removing every block empties the log.
        int removed = 0;
        QTextBlock block = document()->firstBlock();
        while (block.isValid() && length - removed + text.size() >= limit) {
            removed = qMin(removed + block.length(), length);
            block = block.next();
        }
        setUpdatesEnabled(false);
        QTextCursor cursor(document());
        cursor.setPosition(0);
        cursor.setPosition(removed, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setUpdatesEnabled(true);
        length = TextLength();
    }

    QTextCursor cursor(document());
    cursor.setPosition(length);
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
}
