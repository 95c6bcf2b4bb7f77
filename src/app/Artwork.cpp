#include "Artwork.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace Artwork {

namespace {

QFont font(const QStringList &families, int pixelSize, bool bold)
{
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixelSize);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace

QFont kaiFont(int pixelSize, bool bold)
{
    return font({QStringLiteral("AR PL UKai CN"), QStringLiteral("KaiTi_GB2312"), QStringLiteral("KaiTi"),
                 QStringLiteral("楷体_GB2312"), QStringLiteral("楷体"), QStringLiteral("AR PL UMing CN")},
                pixelSize, bold);
}

QFont songFont(int pixelSize)
{
    return font({QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"), QStringLiteral("SimSun"),
                 QStringLiteral("宋体")},
                pixelSize, false);
}

QFont sansFont(int pixelSize, bool bold)
{
    return font(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans")},
        pixelSize, bold);
}

QStringList loadMissingFaces(const QString &folder)
{
    // The files of Debian's packages of these faces, shipped as they are.
    static const QList<QPair<QString, QString>> faces = {
        {QStringLiteral("AR PL UKai CN"), QStringLiteral("ukai.ttc")},
        {QStringLiteral("AR PL UMing CN"), QStringLiteral("uming.ttc")},
        {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("wqy-microhei.ttc")},
        {QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVuSans.ttf")},
        {QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVuSans-Bold.ttf")},
    };
    QStringList loaded;
    const QDir dir(folder);
    for (const auto &[family, file] : faces) {
        // A family loaded from its first file still gets its bold file.
        if (!loaded.contains(family) && QFontDatabase::hasFamily(family))
            continue;
        const QString path = dir.filePath(file);
        if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0 && !loaded.contains(family))
            loaded << family;
    }
    return loaded;
}

QFont applicationFont()
{
    // A sans-serif user-interface face with both Chinese and Latin glyphs, at
    // 9 pt (12 px at 96 dpi); the Song face's Latin letters are thin and faint.
    return font({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                 QStringLiteral("Microsoft YaHei"), QStringLiteral("DejaVu Sans")},
                12, false);
}

namespace {

// A solid triangle shaded black, dark grey and silver on a transparent ground.
QPixmap triangle(int size, bool up)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = size / 16.0;
    const QPointF apex(size / 2.0, up ? m : size - m);
    const QPointF left(m, up ? size - 2 * m : 2 * m);
    const QPointF right(size - m, up ? size - 2 * m : 2 * m);
    QPainterPath path;
    path.moveTo(apex);
    path.lineTo(right);
    path.lineTo(left);
    path.closeSubpath();
    QLinearGradient shade(left, right);
    shade.setColorAt(0, QColor(192, 192, 192));
    shade.setColorAt(0.55, QColor(128, 128, 128));
    shade.setColorAt(1, QColor(0, 0, 0));
    p.fillPath(path, shade);
    p.setPen(QPen(QColor(0, 0, 0), m));
    p.drawPath(path);
    return pm;
}

QPixmap pulseIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 192));
    p.drawRoundedRect(QRectF(0, 0, size, size), 2 * s, 2 * s);
    p.setPen(QPen(QColor(192, 0, 0), s));
    p.drawLine(QPointF(s, 13 * s), QPointF(15 * s, 13 * s));
    QPainterPath trace;
    trace.moveTo(1 * s, 11 * s);
    trace.lineTo(4 * s, 11 * s);
    trace.lineTo(6 * s, 3 * s);
    trace.lineTo(8 * s, 8 * s);
    trace.lineTo(9 * s, 7 * s);
    trace.lineTo(11 * s, 10 * s);
    trace.lineTo(15 * s, 11 * s);
    p.setPen(QPen(QColor(255, 255, 0), 1.5 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    return pm;
}

} // namespace

QPixmap iconPixmap(int size)
{
    return pulseIcon(size);
}

QIcon windowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(pulseIcon(size));
    return icon;
}

QIcon triangleIcon(bool up)
{
    QIcon icon;
    icon.addPixmap(triangle(16, up));
    icon.addPixmap(triangle(32, up));
    return icon;
}

} // namespace Artwork
