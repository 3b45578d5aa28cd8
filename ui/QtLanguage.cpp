#include "QtLanguage.h"

#include <StringTable.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace quillon
{

namespace
{

// Owned by the application object, so it goes with it.
QPointer<QTranslator> g_translator;
bool g_installed = false;

QTranslator* chineseTranslator()
{
    if (!g_translator) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (!translator->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete translator;
            return nullptr;
        }
        g_translator = translator;
        g_installed = false;
    }
    return g_translator;
}

} // namespace

bool followQtLanguage(uint8_t language)
{
    if (!QCoreApplication::instance())
        return false;
    if (language == LanguageEnglish) {
        if (g_translator && g_installed)
            QCoreApplication::removeTranslator(g_translator);
        g_installed = false;
        return true;
    }
    QTranslator* translator = chineseTranslator();
    if (!translator)
        return false;
    if (!g_installed)
        g_installed = QCoreApplication::installTranslator(translator);
    return g_installed;
}

bool qtTranslationInstalled()
{
    return g_translator && g_installed;
}

} // namespace quillon
