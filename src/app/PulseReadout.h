#pragma once

#include "acquire/PulseMeter.h"

#include <QLabel>

// The pulse rate as a monitor shows it, below the serial number, in the
// window's own face; or, while the trace clips, what the operator should do
// about it. It shows the readings it is given (the session's, once a second).
// A display only: it takes no focus and no clicks.
class PulseReadout : public QLabel
{
    Q_OBJECT

public:
    explicit PulseReadout(QWidget *parent);

    // The words for a reading.
    static QString text(const PulseMeter::Reading &reading);

    void show(const PulseMeter::Reading &reading);
};
