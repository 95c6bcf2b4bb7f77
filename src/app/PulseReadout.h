#pragma once

#include "acquire/PulseMeter.h"

#include <QLabel>
#include <QTimer>

// The pulse rate as a monitor shows it, below the serial number: read from
// the session's PulseMeter once a second, in the window's own face; or, while
// the trace clips, what the operator should do about it. A display only: it
// takes no focus and no clicks.
class PulseReadout : public QLabel
{
    Q_OBJECT

public:
    static constexpr int ReadingIntervalMs = 1000;

    PulseReadout(PulseMeter &meter, QWidget *parent);

    // The words for a reading.
    static QString text(const PulseMeter::Reading &reading);

private:
    void showReading();

    PulseMeter &meter_;
    QTimer timer_;
};
