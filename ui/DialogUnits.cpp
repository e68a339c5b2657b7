#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>
#include <QWidget>

namespace {

// Proportional gothic faces first, as both designed faces are proportional.
const QStringList& GothicFaces() {
    static const QStringList faces = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                      QStringLiteral("Noto Sans CJK JP"),
                                      QStringLiteral("VL PGothic")};
    return faces;
}

// Rounds a * b / c to the nearest integer, halves away from zero.
int MulDivRound(int a, int b, int c) {
    const qint64 product = qint64(a) * b;
    const qint64 half = c / 2;
    return int(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

void InstallDialogFontSubstitutes() {
    QFont::insertSubstitutions(QString::fromLatin1(kMainWindowFace), GothicFaces());
    QFont::insertSubstitutions(QString::fromLatin1(kDialogFace), GothicFaces());
}

QFont MainWindowFont() {
    return QFont(QString::fromLatin1(kMainWindowFace), 9);
}

QFont DialogFont() {
    return QFont(QString::fromLatin1(kDialogFace), 8);
}

CDialogUnits::CDialogUnits(const QFont& font) {
    // The average width is measured over the 52 Latin letters, rounded to
    // the nearest pixel.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseWidth = qMax(1, (letters / 26 + 1) / 2);
    m_nBaseHeight = qMax(1, metrics.height());
}

int CDialogUnits::ToPixelsX(int x) const {
    return MulDivRound(x, m_nBaseWidth, 4);
}

int CDialogUnits::ToPixelsY(int y) const {
    return MulDivRound(y, m_nBaseHeight, 8);
}

QRect CDialogUnits::ToPixels(int x, int y, int width, int height) const {
    // Both edges are converted, so adjacent controls stay adjacent.
    const int left = ToPixelsX(x);
    const int top = ToPixelsY(y);
    return QRect(left, top, ToPixelsX(x + width) - left, ToPixelsY(y + height) - top);
}

QSize CDialogUnits::ToPixels(int width, int height) const {
    return QSize(ToPixelsX(width), ToPixelsY(height));
}

void CDialogUnits::Place(QWidget* widget, int x, int y, int width, int height) const {
    widget->setGeometry(ToPixels(x, y, width, height));
}
