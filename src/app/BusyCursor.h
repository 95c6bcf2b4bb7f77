#pragma once

#include <QCursor>
#include <QGuiApplication>

// The busy cursor over the program's windows for as long as it lives: the
// pauses between sensor commands process no events, and this shows why.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
