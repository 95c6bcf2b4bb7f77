#include "Startup.h"

#include "Artwork.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QProxyStyle>
#include <QTranslator>

namespace {

// The toolkit's style with the option buttons' captions closer to their
// circles, as the layout's narrow options ("1000Hz" in 57 px) need at 9 pt.
class WindowStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_RadioButtonLabelSpacing)
            return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void prepareEnvironment()
{
    // The trace is repainted in small strips many times a second. Through
    // shared memory every strip costs an extra round trip to the X server and
    // a wake-up of two threads; sent plainly it costs one write. Measured: half
    // the CPU while streaming. An explicit setting by the user wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
#ifdef Q_OS_WIN
    // FreeType draws the window's faces as on Linux, synthetic bold included;
    // GDI draws the Kai face thinner and otherwise spaced.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
#endif
}

void configureApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("pulse-demo"));
    // One style and one font everywhere, so the window looks the same on
    // every desktop and locale.
    auto *style = new WindowStyle(QStringLiteral("Fusion"));
    style->setParent(&app); // the application owns its style
    QApplication::setStyle(style);
    // The Windows package brings the window's faces along; Windows has none of them.
    Artwork::loadMissingFaces(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
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
