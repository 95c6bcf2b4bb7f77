#include "Startup.h"

#include "Artwork.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>

void configureApplication(QApplication &app)
{
    // One style and one font everywhere, so the window looks the same on
    // every desktop and locale.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QApplication::setFont(Artwork::applicationFont());
    QApplication::setWindowIcon(Artwork::windowIcon());

    // The toolkit's own words (the OK of a message box) in Simplified Chinese.
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}
