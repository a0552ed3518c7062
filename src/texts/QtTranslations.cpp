#include "texts/QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>
#include <memory>

namespace {

struct Installed {
    std::unique_ptr<QTranslator> translator;
    uint32_t language = 0;
};

Installed& Current()
{
    static Installed installed;
    return installed;
}

// Where Qt's catalogues are looked for: Qt's own folder (Debian's qt6-translations-l10n), then
// a "translations" folder beside the program (a copy that carries its own).
QStringList Folders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

} // namespace

bool UseQtTranslations(uint32_t language)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return false;
    Installed& now = Current();
    if (now.translator && now.language == language)
        return true;
    if (now.translator) {
        QCoreApplication::removeTranslator(now.translator.get());
        now.translator.reset();
    }
    if (language != 0)
        return true;
    auto translator = std::make_unique<QTranslator>();
    // "qt_de" gathers the catalogues of the Qt modules (qtbase_de holds the widgets' texts).
    for (const QString& folder : Folders()) {
        if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qt"),
                             QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator.get());
            now.translator = std::move(translator);
            now.language = language;
            return true;
        }
    }
    return false;
}

QString QtTranslationsFile()
{
    const Installed& now = Current();
    return now.translator ? now.translator->filePath() : QString();
}
