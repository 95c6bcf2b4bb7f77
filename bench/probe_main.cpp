// The program as shipped, watched from outside for the benchmark: paints of
// the window and of the trace through an event filter, bytes through the
// serial line's own counters. When it ends it writes "key value" lines to the
// file named by PULSE_PROBE_FILE: samples taken, the largest delay from bytes
// reaching the program to the trace's next paint, trace paints, and the
// wall-clock time of the window's first paint.
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "link/PosixSerialLine.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <chrono>

namespace {

qint64 nanoseconds(std::chrono::nanoseconds t)
{
    return qint64(t.count());
}

class Probe : public QObject
{
public:
    explicit Probe(PosixSerialLine &line)
        : line_(line)
    {
        // Connected before the window is: sees each batch before it is taken.
        connect(&line, &SerialService::readyRead, this, &Probe::onBatch);
    }

    void watch(QWidget *window, QWidget *trace)
    {
        window_ = window;
        trace_ = trace;
        window->installEventFilter(this);
        trace->installEventFilter(this);
    }

    void write(const QString &path) const
    {
        QFile out(path);
        if (path.isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        out.write(QStringLiteral("samples %1\nmax_delay_us %2\ntrace_paints %3\nfirst_paint_realtime_ns %4\n")
                      .arg(line_.bytesRead())
                      .arg(maxDelayNs_ / 1000)
                      .arg(tracePaints_)
                      .arg(firstPaintRealtimeNs_)
                      .toLatin1());
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (watched == trace_) {
            ++tracePaints_;
            if (arrivalNs_ >= 0) {
                maxDelayNs_ = std::max(maxDelayNs_, now() - arrivalNs_);
                arrivalNs_ = -1;
            }
        } else if (watched == window_ && firstPaintRealtimeNs_ == 0) {
            firstPaintRealtimeNs_ = nanoseconds(std::chrono::system_clock::now().time_since_epoch());
        }
        return false;
    }

private:
    static qint64 now() { return nanoseconds(std::chrono::steady_clock::now().time_since_epoch()); }

    void onBatch()
    {
        // Conservative: bytes read on a tick are taken to have arrived just
        // after the previous read; bytes that woke the line, just now.
        const qint64 t = now();
        const bool woke = line_.wakeUps() != wakeUpsSeen_;
        wakeUpsSeen_ = line_.wakeUps();
        if (arrivalNs_ < 0)
            arrivalNs_ = woke || lastReadNs_ < 0 ? t : lastReadNs_;
        lastReadNs_ = t;
    }

    PosixSerialLine &line_;
    QWidget *window_ = nullptr;
    QWidget *trace_ = nullptr;
    qint64 wakeUpsSeen_ = 0;
    qint64 lastReadNs_ = -1;
    qint64 arrivalNs_ = -1; // oldest arrival not yet painted
    qint64 maxDelayNs_ = 0;
    qint64 tracePaints_ = 0;
    qint64 firstPaintRealtimeNs_ = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    prepareEnvironment();
    QApplication app(argc, argv);
    configureApplication(app);

    auto line = std::make_unique<PosixSerialLine>();
    Probe probe(*line);
    MainWindow window(std::move(line));
    probe.watch(&window, window.findChild<QWidget *>(QStringLiteral("Picture1")));
    window.show();
    const int code = app.exec();
    probe.write(qEnvironmentVariable("PULSE_PROBE_FILE"));
    return code;
}
