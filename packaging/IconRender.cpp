// Writes the window icon as hicolor PNGs, so the menu shows the same picture
// as the title bar: render <output dir> <size>...
// Each size lands in <output dir>/<size>x<size>/apps/pulse-demo.png.

#include "app/Artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <cstdio>

namespace {

// Drawn at each size, so the big menu icons are as sharp as the small ones.
QImage iconImage(int size)
{
    return Artwork::iconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char *argv[])
{
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s <output dir> <size>...\n", qPrintable(args.value(0)));
        return 2;
    }
    const QDir out(args.at(1));
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "not a size: %s\n", qPrintable(args.at(i)));
            return 2;
        }
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = out.filePath(dir + QStringLiteral("/pulse-demo.png"));
        if (!out.mkpath(dir) || !iconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
