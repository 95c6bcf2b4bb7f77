#include "PulseReadout.h"

#include "Artwork.h"
#include "Texts.h"
#include "WindowLayout.h"

namespace {

// Twelve characters fit the readout's width on one line.
constexpr int WarningPixels = 12;

} // namespace

PulseReadout::PulseReadout(QWidget *parent)
    : QLabel(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAlignment(Qt::AlignCenter);
    setFont(Artwork::kaiFont(WindowLayout::ButtonFacePixels, true));
    setText(text({}));
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

void PulseReadout::show(const PulseMeter::Reading &reading)
{
    const QString shown = text(reading);
    if (shown == QLabel::text())
        return;
    const bool warning = reading.clipping != PulseMeter::Clipping::None;
    setFont(Artwork::kaiFont(warning ? WarningPixels : WindowLayout::ButtonFacePixels, true));
    QPalette p = palette();
    p.setColor(QPalette::WindowText,
               warning ? WindowLayout::PortPromptInk : parentWidget()->palette().color(QPalette::WindowText));
    setPalette(p);
    setText(shown);
}
