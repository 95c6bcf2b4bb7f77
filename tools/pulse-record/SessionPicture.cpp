#include "SessionPicture.h"

#include "RecordPicture.h"
#include "RecordTexts.h"
#include "acquire/Sweep.h"
#include "acquire/TraceCanvas.h"
#include "app/SessionEventText.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int BandHeight = SessionPicture::LabelLines * SessionPicture::LineHeight;
constexpr int RowHeight = BandHeight + SessionPicture::PlotHeight + SessionPicture::RowGap;

// The row's plot, below its label band.
QRect plotOf(int row)
{
    return {SessionPicture::MarginLeft, SessionPicture::MarginTop + row * RowHeight + BandHeight,
            SessionPicture::RowWidth, SessionPicture::PlotHeight};
}

// The window's proportions, the whole surface's height in one row.
double rowY(const QRect &plot, int twipsY)
{
    return plot.top() + double(twipsY) * plot.height() / TraceCanvas::HeightTwips;
}

} // namespace

double SessionPicture::rowSeconds(double spanSeconds)
{
    for (double seconds : RowSecondsChoices) {
        if (spanSeconds <= seconds * MaxRows)
            return seconds;
    }
    return 3600 * std::ceil(spanSeconds / MaxRows / 3600);
}

QImage SessionPicture::render(const SessionReader &recording, qint64 from, qint64 to, const QString &title)
{
    const double t0 = recording.msecsOf(from);
    // To the end of the recording, its last events (a Stop) included.
    const double end =
        to == recording.count() && recording.end().isValid() ? double(recording.end().toMSecsSinceEpoch()) : 0.0;
    const double t1 = std::max({recording.msecsOf(to), end, t0 + 1});
    const double rowMs = 1000 * rowSeconds((t1 - t0) / 1000);
    const int rows = std::max(1, int(std::ceil((t1 - t0) / rowMs)));
    const double pixelsPerMs = RowWidth / rowMs;

    QImage image(MarginLeft + RowWidth + MarginRight, MarginTop + rows * RowHeight + MarginBottom,
                 QImage::Format_RGB32);
    image.fill(RecordPicture::Paper);
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(RecordPicture::Ink);
    p.drawText(QRect(MarginLeft, 0, RowWidth, MarginTop - 2 * TickLength), Qt::AlignHCenter | Qt::AlignBottom, title);

    const double tickStep = RecordPicture::tickStep(rowMs / 1000);
    for (int r = 0; r < rows; ++r) {
        const QRect plot = plotOf(r);
        p.setPen(RecordPicture::Ink);
        p.drawRect(plot.adjusted(-1, -1, 0, 0));
        p.drawText(QRect(0, plot.top(), MarginLeft - 2 * TickLength, LineHeight), Qt::AlignRight | Qt::AlignTop,
                   recording.atOffset(t0 + r * rowMs).toString(QStringLiteral("HH:mm:ss")));
        const int ticks = int(std::floor(rowMs / 1000 / tickStep + 1e-9));
        for (int k = 0; k <= ticks; ++k) {
            const double s = k * tickStep;
            const int x = plot.left() + int(std::lround(s * 1000 * pixelsPerMs));
            p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + TickLength);
            if (r == rows - 1)
                p.drawText(QRect(x - 40, plot.bottom() + TickLength + 2, 80, LineHeight), Qt::AlignHCenter,
                           QString::number(s, 'g', 6));
        }
        p.fillRect(plot, TraceCanvas::Background);
        p.setPen(QPen(TraceCanvas::LineColour, 0));
        for (int y : {TraceCanvas::LowerLineY, TraceCanvas::UpperLineY})
            p.drawLine(QPointF(plot.left(), rowY(plot, y)), QPointF(plot.right(), rowY(plot, y)));
    }
    const QRect last = plotOf(rows - 1);
    p.setPen(RecordPicture::Ink);
    p.drawText(QRect(MarginLeft, last.bottom() + TickLength + 2 + LineHeight, RowWidth, LineHeight + 4),
               Qt::AlignHCenter | Qt::AlignTop, RecordTexts::RowTimeAxis);

    // The trace, broken where the row ends or samples did not come.
    p.setPen(QPen(TraceCanvas::TraceColour, 0));
    QPolygonF piece;
    int pieceRow = -1;
    double previousMs = t0;
    const auto flush = [&] {
        if (piece.size() == 1)
            p.drawPoint(piece.front());
        else if (piece.size() > 1)
            p.drawPolyline(piece);
        piece.clear();
    };
    const auto &runs = recording.runs();
    auto nextRun = std::upper_bound(runs.begin(), runs.end(), from,
                                    [](qint64 s, const SessionReader::Run &run) { return s < run.first; });
    for (qint64 s = from; s < to; ++s) {
        const double ms = recording.msecsOf(s);
        const int row = std::clamp(int((ms - t0) / rowMs), 0, rows - 1);
        // A run's first sample is never joined to the one before, however soon it came.
        const bool runBegins = nextRun != runs.end() && nextRun->first == s;
        if (runBegins)
            ++nextRun;
        if (row != pieceRow || runBegins || ms - previousMs > 1000 * BreakSeconds)
            flush();
        pieceRow = row;
        previousMs = ms;
        const QRect plot = plotOf(row);
        piece << QPointF(plot.left() + (ms - t0 - row * rowMs) * pixelsPerMs,
                         rowY(plot, Sweep::yFor(std::uint8_t(recording.samples[s]))));
    }
    flush();

    // Events at their own time; labels take the first free line of the band.
    std::vector<std::array<double, LabelLines>> taken(static_cast<size_t>(rows));
    for (auto &lines : taken)
        lines.fill(-1e9);
    const QFontMetrics metrics = p.fontMetrics();
    for (const SessionFormat::Event &e : recording.events) {
        const QString text = Texts::sessionEvent(e);
        const double ms = double(e.time.toMSecsSinceEpoch());
        if (text.isEmpty() || e.sample < from || e.sample > to || ms < t0 || ms > t1)
            continue;
        const int row = std::clamp(int((ms - t0) / rowMs), 0, rows - 1);
        const QRect plot = plotOf(row);
        const double x = plot.left() + (ms - t0 - row * rowMs) * pixelsPerMs;
        p.setPen(QPen(EventColour, 0, Qt::DashLine));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        auto &lines = taken[size_t(row)];
        const auto free = std::find_if(lines.begin(), lines.end(), [&](double right) { return right < x; });
        const auto line = free == lines.end() ? lines.begin() : free;
        const int width = metrics.horizontalAdvance(text);
        const double left = std::min(x, double(plot.right() - width));
        *line = left + width + 6;
        p.setPen(RecordPicture::Ink);
        p.drawText(
            QRectF(left, plot.top() - BandHeight + int(line - lines.begin()) * LineHeight, width + 2, LineHeight),
            Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    return image;
}
