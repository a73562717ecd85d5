#include "ui/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ui {

bool LoadQtTranslations(QCoreApplication& application)
{
    // The window is Japanese whatever the system's language, so Qt's texts are too.
    auto* translator = new QTranslator(&application);
    // The Windows program is one file that carries its translations inside.
    for (const QString& folder : { QLibraryInfo::path(QLibraryInfo::TranslationsPath),
             QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
             QStringLiteral(":/translations") }) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
            return QCoreApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

} // namespace ui
