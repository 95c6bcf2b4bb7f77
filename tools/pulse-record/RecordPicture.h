#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>

// A record drawn as the program draws it: yellow trace on dark blue between
// the two red reference lines, the lower one at the level of a sample of 0 and
// the upper one a little above 255, at the program's proportions but larger,
// with value and time (or sample index) axes round it.
class RecordPicture
{
public:
    static constexpr int PixelsPerSample = 1;
    static constexpr int PixelsPerCount = 2;
    static constexpr int MarginLeft = 64;
    static constexpr int MarginTop = 40;
    static constexpr int MarginRight = 24;
    static constexpr int MarginBottom = 56;
    static constexpr int TickLength = 5;
    static constexpr int MaxTicks = 10;
    static constexpr int ValueTickStep = 50;

    static inline const QColor Paper {255, 255, 255};
    static inline const QColor Ink {0, 0, 0};

    // The dark blue area, in image pixels; a record's samples span its width.
    static QRect plotRect();
    static QSize imageSize();

    // Where sample `index` of value `value` lies on the picture.
    static QPoint samplePoint(int index, int value);
    static int lowerLineRow();
    static int upperLineRow();

    // Axis step of at most MaxTicks ticks over `span`: 1, 2 or 5 times a power of ten.
    static double tickStep(double span);

    // The slot at `gapAt` (if any) is a sample the record does not hold: no
    // trace reaches it, a dotted line marks it.
    static inline const QColor GapMark {255, 255, 255};
    static QImage render(std::span<const std::uint8_t> samples, const QString &title, std::optional<double> rateHz,
                         int gapAt = -1);
};
