#pragma once

#include "ui/MessageBoxSink.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QStringList>

#include <functional>

// Helpers for tests that drive real windows and dialogs.

// Shows every message of the program in a real message box, records its
// caption and text and presses its OK button from the event loop.
class CMessageBoxAnswerer : public QObject {
public:
    CMessageBoxAnswerer();
    ~CMessageBoxAnswerer() override;

    QStringList texts;
    QStringList captions;
    // The texts of each box's buttons, sorted and joined by commas.
    QStringList buttons;
    // Whether every box offered exactly one button, OK, and showed its text
    // as plain text.
    bool onlyOkButtons = true;
    bool onlyPlainText = true;
    // Answers to the Yes/No questions, in the order they are asked; No once
    // they run out. Questions do not count against onlyOkButtons.
    QList<QMessageBox::StandardButton> questionAnswers;
    // Runs when a box is shown, before it is answered.
    std::function<void()> onShown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CMessageBoxSink m_sink;
    IMessageSink* m_pPrevious;
};

// Runs `action` on every widget of type T that is shown, from the event loop.
template <typename T> class COnShow : public QObject {
public:
    explicit COnShow(std::function<void(T*)> action) : m_action(std::move(action)) {
        qApp->installEventFilter(this);
    }
    ~COnShow() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (auto* widget = qobject_cast<T*>(watched); widget && event->type() == QEvent::Show)
            QMetaObject::invokeMethod(
                widget, [this, widget] { m_action(widget); }, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(T*)> m_action;
};
