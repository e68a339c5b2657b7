#include "ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

constexpr const char* kTranslatorName = "komaslate_qtbase_ja";

} // namespace

bool InstallJapaneseQtTranslations(QCoreApplication& application) {
    if (application.findChild<QTranslator*>(QLatin1StringView(kTranslatorName),
                                            Qt::FindDirectChildrenOnly))
        return true;
    // The translator lives as long as the application that uses it.
    auto* translator = new QTranslator(&application);
    translator->setObjectName(QLatin1StringView(kTranslatorName));
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    application.installTranslator(translator);
    return true;
}
