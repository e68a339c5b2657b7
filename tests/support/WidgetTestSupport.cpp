#include "support/WidgetTestSupport.h"

#include <QAbstractButton>

CMessageBoxAnswerer::CMessageBoxAnswerer() : m_pPrevious(SetMessageSink(&m_sink)) {
    qApp->installEventFilter(this);
}

CMessageBoxAnswerer::~CMessageBoxAnswerer() {
    qApp->removeEventFilter(this);
    SetMessageSink(m_pPrevious);
}

bool CMessageBoxAnswerer::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box && event->type() == QEvent::Show) {
        texts.append(box->text());
        captions.append(box->windowTitle());
        QStringList names;
        for (const QAbstractButton* button : box->buttons())
            names.append(button->text());
        names.sort();
        buttons.append(names.join(u','));
        const bool question = box->button(QMessageBox::Yes) && box->button(QMessageBox::No);
        const QMessageBox::StandardButton answer =
            question && !questionAnswers.isEmpty() ? questionAnswers.takeFirst() : QMessageBox::No;
        if (!question && (box->buttons().size() != 1 || !box->button(QMessageBox::Ok)))
            onlyOkButtons = false;
        if (box->textFormat() != Qt::PlainText)
            onlyPlainText = false;
        if (onShown)
            onShown();
        QMetaObject::invokeMethod(
            box,
            [box, question, answer] {
                if (QAbstractButton* button = box->button(question ? answer : QMessageBox::Ok))
                    button->click();
                else
                    box->reject();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
