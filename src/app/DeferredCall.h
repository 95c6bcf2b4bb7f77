#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// Runs a call a moment later, once what the operator just did shows on the
// screen (a list closed, the window repainted under it), yet before any later
// input is handled: a click or key press that arrives meanwhile runs the call
// first and is handled after it, as if the call had run at once.
class DeferredCall : public QObject
{
public:
    // Long enough for the window system to report the uncovered area, far
    // too short for anyone to notice.
    static constexpr int CatchUpMs = 25;

    explicit DeferredCall(QObject *parent = nullptr);

    // A call still pending runs first.
    void post(std::function<void()> call);
    bool pending() const { return bool(call_); }
    // Runs the pending call, if any, now.
    void run();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> call_;
    QTimer timer_;
};
