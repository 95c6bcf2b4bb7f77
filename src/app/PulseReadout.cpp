#include "PulseReadout.h"

#include "Artwork.h"
#include "Texts.h"

namespace {

// The prompt's red for a warning; the rate in the buttons' face and size.
constexpr QColor WarningColour(192, 0, 0);
constexpr int RatePixels = 19;
// Twelve characters fit the readout's width on one line.
constexpr int WarningPixels = 12;

} // namespace

PulseReadout::PulseReadout(PulseMeter &meter, QWidget *parent)
    : QLabel(parent)
    , meter_(meter)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignCenter);
    setFont(Artwork::kaiFont(RatePixels, true));
    setText(text({}));
    timer_.setInterval(ReadingIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PulseReadout::showReading);
    timer_.start();
}

QString PulseReadout::text(const PulseMeter::Reading &reading)
{
    switch (reading.clipping) {
    case PulseMeter::Clipping::High:
        return Texts::SignalTooHigh;
    case PulseMeter::Clipping::Low:
        return Texts::SignalTooLow;
    case PulseMeter::Clipping::None:
        break;
    }
    return Texts::PulseRate.arg(reading.perMinute > 0 ? QString::number(reading.perMinute) : Texts::NoRate);
}

void PulseReadout::showReading()
{
    const PulseMeter::Reading reading = meter_.read();
    const QString shown = text(reading);
    if (shown == QLabel::text())
        return;
    const bool warning = reading.clipping != PulseMeter::Clipping::None;
    setFont(Artwork::kaiFont(warning ? WarningPixels : RatePixels, true));
    QPalette p = palette();
    p.setColor(QPalette::WindowText, warning ? WarningColour : parentWidget()->palette().color(QPalette::WindowText));
    setPalette(p);
    setText(shown);
}
