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
    // A steady text cursor: a blinking one wakes the program twice a second
    // for as long as the port list or the serial-number box has the focus.
    QApplication::setCursorFlashTime(0);

    // The toolkit's own words (the OK of a message box) in Simplified Chinese.
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}
