#pragma once

#include "RecordPicture.h"
#include "recording/SessionReader.h"

#include <QColor>
#include <QImage>
#include <QString>

// A span of a session recording as a strip chart: rows of equal time one
// under the other, each drawn as the program draws its trace (yellow on dark
// blue between the red reference lines), by wall-clock time so that breaks
// show as empty stretches; events and markers as dashed lines labelled above
// their row, each row's start time on its left.
class SessionPicture
{
public:
    static constexpr int RowWidth = 1200; // pixels
    static constexpr int PlotHeight = 160;
    static constexpr int MaxRows = 12;
    static constexpr int LabelLines = 2;
    static constexpr int LineHeight = 18;
    static constexpr int RowGap = 10;
    static constexpr int MarginLeft = 90;
    // The frame and the ticks of a record's picture.
    static constexpr int MarginTop = RecordPicture::MarginTop;
    static constexpr int MarginRight = RecordPicture::MarginRight;
    static constexpr int MarginBottom = RecordPicture::MarginBottom;
    static constexpr int TickLength = RecordPicture::TickLength;
    // Two samples further apart than this are not joined.
    static constexpr double BreakSeconds = 0.1;
    static constexpr double RowSecondsChoices[] = {10, 20, 30, 60, 120, 300, 600, 1200, 1800, 3600};

    static inline const QColor EventColour {255, 255, 255};

    // The rows' length for a span: the first choice that needs at most
    // MaxRows rows, else whole hours.
    static double rowSeconds(double spanSeconds);
    // Samples [from, to) of `recording`.
    static QImage render(const SessionReader &recording, qint64 from, qint64 to, const QString &title);
};
