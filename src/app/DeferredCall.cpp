#include "DeferredCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <utility>

DeferredCall::DeferredCall(QObject *parent)
    : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setInterval(CatchUpMs);
    connect(&timer_, &QTimer::timeout, this, &DeferredCall::run);
}

void DeferredCall::post(std::function<void()> call)
{
    run();
    call_ = std::move(call);
    // Sees every event while the call waits; removed as soon as it runs.
    QCoreApplication::instance()->installEventFilter(this);
    timer_.start();
}

void DeferredCall::run()
{
    if (!call_)
        return;
    timer_.stop();
    QCoreApplication::instance()->removeEventFilter(this);
    const std::function<void()> call = std::exchange(call_, {});
    // Paint what the window system has reported by now; input waits.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    call();
}

bool DeferredCall::eventFilter(QObject *, QEvent *event)
{
    // Only input from the window system: events that the toolkit sends on
    // its own while handling the pick must not start the call inside it.
    if (event->spontaneous()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Close:
            run();
            break;
        default:
            break;
        }
    }
    return false;
}
