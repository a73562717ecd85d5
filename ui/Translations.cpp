#include "ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ui {

bool LoadQtTranslations(QCoreApplication& application)
{
    // The window is Japanese whatever the system's language, so Qt's texts are too.
    auto* translator = new QTranslator(&application);
    for (const QString& folder : { QLibraryInfo::path(QLibraryInfo::TranslationsPath),
             QCoreApplication::applicationDirPath() + QStringLiteral("/translations") }) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
            return QCoreApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

} // namespace ui
