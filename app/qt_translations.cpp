#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslations(QCoreApplication &app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    bool baseFound = false;
    for (const QString &catalog : {QStringLiteral("qtbase"), QStringLiteral("qtserialport")}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(chinese, catalog, QStringLiteral("_"), folder)) {
            app.installTranslator(translator);
            baseFound = baseFound || catalog == QStringLiteral("qtbase");
        } else {
            delete translator;
        }
    }
    return baseFound;
}
