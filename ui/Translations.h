#pragma once

class QCoreApplication;

// Installs Qt's own Japanese texts ("qtbase_ja" from Qt's translations
// folder) into `application`, whatever the user's locale, so that the
// buttons and the file dialog Qt supplies speak the program's language.
// A second call changes nothing. False when the translation file is missing;
// Qt's English texts remain then.
bool InstallJapaneseQtTranslations(QCoreApplication& application);
