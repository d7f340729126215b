#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QtGlobal>

namespace kavo {

bool InstallJapaneseQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        // Said where a test run or a user starting it from a terminal sees it.
        qWarning("kavo: Qt's Japanese texts (qtbase_ja.qm) are not in %s", qUtf8Printable(folder));
        return false;
    }
    app.installTranslator(translator);
    return true;
}

}  // namespace kavo
