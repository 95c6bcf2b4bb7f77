#include "LostPortWatch.h"

LostPortWatch::LostPortWatch(SerialService &line, QObject *parent)
    : QObject(parent)
    , line_(line)
{
    timer_.setInterval(IntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LostPortWatch::look);
}

void LostPortWatch::remember(int port)
{
    end();
    port_ = port;
    opened_ = line_.present(port);
}

void LostPortWatch::begin()
{
    refusedLooks_ = 0;
    timer_.start();
}

void LostPortWatch::end()
{
    timer_.stop();
}

void LostPortWatch::look()
{
    const std::optional<SerialService::Presence> now = line_.present(port_, false);
    if (!now || !opened_ || now->entry != opened_->entry) {
        refusedLooks_ = 0;
        return;
    }
    if (!opened_->serialNumber.isEmpty()) {
        if (refusedLooks_ > 0) {
            --refusedLooks_;
            return;
        }
        const std::optional<SerialService::Presence> adapter = line_.present(port_);
        if (!adapter || adapter->serialNumber != opened_->serialNumber) {
            refusedLooks_ = RefusedLooks;
            return;
        }
    }
    if (!line_.open(port_))
        return; // not ready yet; the next look tries again
    timer_.stop();
    emit reopened();
}
