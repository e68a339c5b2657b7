#pragma once

#include <QPlainTextEdit>

// The main window's status log: read-only, no wrapping, both scroll bars.
// Its text is held below a fixed limit by dropping whole lines from the top.
class CStatusLog : public QPlainTextEdit {
    Q_OBJECT
public:
    // The log's text limit in characters; a line break counts as one.
    static constexpr int kTextLimit = 30000;

    explicit CStatusLog(QWidget* parent = nullptr);

    // Appends `text` at the end and scrolls it into view. Before that it
    // removes lines from the top until the old and the new text together
    // stay below kTextLimit - 5 characters; when a single line is too long
    // for that, the whole log goes. A text that alone reaches that bound
    // keeps only its last characters.
    void AppendLog(const QString& text);

    // Number of characters in the log.
    int TextLength() const;
};
