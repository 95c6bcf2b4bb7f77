#pragma once

#include "link/SerialService.h"

#include <QObject>
#include <QTimer>
#include <optional>

// Watches for a lost port to come back with the same device, and opens it.
//
// "The same" is what the port led to when it was opened: the same folder
// entry (whatever it links to now) or the same device of the fixed table,
// never the table's device once the entry is gone; and where the system knew
// the adapter's serial number, only that adapter, not before the system knows
// it again. It never opens another port.
class LostPortWatch : public QObject
{
    Q_OBJECT
public:
    // How often the port is looked for: a glance at the file system.
    static constexpr int IntervalMs = 1000;
    // Asking for an adapter's serial number costs more than a glance, so a
    // refused adapter is asked about again only after this many looks.
    static constexpr int RefusedLooks = 8;

    explicit LostPortWatch(SerialService &line, QObject *parent = nullptr);

    // The port has just been opened by the operator's pick: what it stands for.
    void remember(int port);
    // The open port went away: looks for it once a second until it is open
    // again or end() is called.
    void begin();
    void end();
    bool active() const { return timer_.isActive(); }

signals:
    // The port is open again; the watch has ended.
    void reopened();

private:
    void look();

    SerialService &line_;
    QTimer timer_;
    int port_ = 0;
    std::optional<SerialService::Presence> opened_; // what the open port stood for
    int refusedLooks_ = 0;                          // looks left before another adapter there is asked about again
};
