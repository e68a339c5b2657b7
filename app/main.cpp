// KomaSlate Utility: exchanges drawings with the KomaSlate app over the
// local network.

#include "base/ApplicationName.h"
#include "base/LargeBuffers.h"
#include "mainwnd/KomaSlateServerDlg.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxSink.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char* argv[]) {
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QApplication application(argc, argv);
    KeepLargeBuffersResident();
    QApplication::setApplicationName(ApplicationName());
    QGuiApplication::setDesktopFileName(QStringLiteral("komaslate-utility"));
    InstallDialogFontSubstitutes();
    // Qt's own buttons and dialogs speak Japanese like the rest of the
    // program, whatever the user's locale.
    InstallJapaneseQtTranslations(application);

    // Every message of the program appears in a message box from here on.
    CMessageBoxSink messageBoxes;
    CScopedMessageSink sinkScope(&messageBoxes);

    // The main window runs until it is closed; then the program ends.
    CKomaSlateServerDlg window;
    window.exec();
    return 0;
}
