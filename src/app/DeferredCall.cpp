#include "DeferredCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void DeferredCall::runOnceShown(const std::function<void()> &call)
{
    // Paint what the window system reports by then; input waits.
    QEventLoop catchUp;
    QTimer::singleShot(CatchUpMs, &catchUp, &QEventLoop::quit);
    catchUp.exec(QEventLoop::ExcludeUserInputEvents);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    call();
}
