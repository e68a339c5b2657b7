#pragma once

#include <QFont>
#include <QRect>

class QWidget;

// The two faces the window layouts are designed for. Neither exists on a
// Linux desktop; InstallDialogFontSubstitutes maps both to an installed
// Japanese gothic face so that text widths stay close to the designed ones.
inline constexpr const char* kMainWindowFace = "MS UI Gothic";
inline constexpr const char* kDialogFace = "MS Shell Dlg";

// Registers the font substitutions for both faces; call once after the
// application object exists.
void InstallDialogFontSubstitutes();

// The main window's font ("MS UI Gothic", 9 point) and the font of the
// other dialogs ("MS Shell Dlg", 8 point).
QFont MainWindowFont();
QFont DialogFont();

// Converts dialog units into pixels for one dialog font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its height, rounded to the nearest pixel.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int BaseWidth() const { return m_nBaseWidth; }
    int BaseHeight() const { return m_nBaseHeight; }

    int ToPixelsX(int x) const;
    int ToPixelsY(int y) const;
    QRect ToPixels(int x, int y, int width, int height) const;
    QSize ToPixels(int width, int height) const;

    // Gives `widget` the geometry of the dialog-unit rectangle.
    void Place(QWidget* widget, int x, int y, int width, int height) const;

private:
    int m_nBaseWidth;
    int m_nBaseHeight;
};
