#include "link/dialogs/OverwriteDlg.h"

#include "base/FileNameText.h"
#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "ui/DialogUnits.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {

// Message texts break lines with CR LF; a label wants plain line feeds.
QString StripCrLf(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A button text shows '&' as a mnemonic marker; a name from the app is
// shown as it is.
QString EscapeMnemonics(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

// A push button that Enter never presses, whether it has the focus or not.
QPushButton* MakeButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

COverwriteDlg::COverwriteDlg(const QString& fileName, const QString& altName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_strFileName(fileName), m_strAltName(altName) {
    setWindowTitle(QStringLiteral(u"上書き確認"));
    setFont(DialogFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(243, 122));

    // The names come from the app: shown shortened, kept whole.
    m_pQuestion = new QLabel(StripCrLf(FormatStringResource(IDS_OVERWRITE_QUESTION,
                                                            {ShortenedForDisplay(m_strFileName)})),
                             this);
    m_pQuestion->setTextFormat(Qt::PlainText);
    m_pQuestion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pQuestion->setWordWrap(true);
    units.Place(m_pQuestion, 7, 7, 229, 21);

    m_pYes = MakeButton(QStringLiteral(u"はい"), this);
    units.Place(m_pYes, 7, 42, 229, 20);
    m_pNo = MakeButton(QStringLiteral(u"いいえ"), this);
    units.Place(m_pNo, 7, 68, 229, 20);
    m_pSaveAsAlt = MakeButton(EscapeMnemonics(FormatStringResource(
                                  IDS_SAVE_AS_NAME, {ShortenedForDisplay(m_strAltName)})),
                              this);
    units.Place(m_pSaveAsAlt, 7, 95, 229, 20);

    connect(m_pYes, &QPushButton::clicked, this, [this] { done(IDYES); });
    connect(m_pNo, &QPushButton::clicked, this, [this] { done(IDNO); });
    connect(m_pSaveAsAlt, &QPushButton::clicked, this, [this] { done(IDC_SAVE_AS_ALT); });
}

void COverwriteDlg::reject() {
    done(IDNO);
}

void COverwriteDlg::keyPressEvent(QKeyEvent* event) {
    // QDialog would press a default button on Enter; this dialog has none
    // and leaves the key without effect.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}
