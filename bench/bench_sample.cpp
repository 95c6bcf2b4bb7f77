// Cost of one sample through the acquisition path: stored, the sweep moved,
// the marker's strip wiped and the segment drawn into the trace image.
// bench/run_bench.py turns the CPU time per batch into nanoseconds per sample
// and the headroom against the line's 1/960 s per sample, and the session
// recording's CPU a second at the line's pace into a share of a core.

#include "PulseModel.h"
#include "acquire/Acquisition.h"
#include "acquire/PulseMeter.h"
#include "recording/SessionRecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <span>
#include <vector>

namespace {

// Several sweeps long (a sweep is 1145 samples), so every batch size meets
// the wrap, where the marker jumps across, as often as the line would.
constexpr std::size_t SignalLength = 9600;

// The simulated sensor's pulse at 1000 Hz and 72 beats a minute, at gain 6
// and baseline 2 (a swing of about 150 counts from about 64): a sharp
// systolic rise, a dicrotic bump and some noise, so segments have every slope
// and length.
std::vector<std::uint8_t> pulseSignal()
{
    PulseModel model({72.0, 1, true});
    model.setSamplingRate(1000);
    model.setGain(6);
    model.setBaseline(2);
    std::vector<std::uint8_t> out(SignalLength);
    for (auto &b : out)
        b = model.nextByte();
    return out;
}

// The next `batch` samples of the signal, round and round.
std::span<const std::uint8_t> nextBatch(const std::vector<std::uint8_t> &samples, std::size_t &at, std::size_t batch)
{
    if (at + batch > samples.size())
        at = 0;
    at += batch;
    return {samples.data() + at - batch, batch};
}

void perSample(benchmark::State &state)
{
    const qreal ratio = qreal(state.range(0));
    const std::size_t batch = std::size_t(state.range(1));
    static const std::vector<std::uint8_t> samples = pulseSignal();
    Acquisition acquisition(ratio);
    // Into a later sweep first: the first one starts off the left edge.
    acquisition.take({samples.data(), 2000});
    acquisition.finishBatch();

    std::size_t at = 0;
    for (auto _ : state) {
        acquisition.take(nextBatch(samples, at, batch));
        TraceUpdate changed = acquisition.finishBatch();
        benchmark::DoNotOptimize(changed);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(batch));
}

// The pulse meter's share of a sample: the beat detector and the clipping
// counts, as SensorSession::takeSamples hands it each batch.
void pulseMeterPerSample(benchmark::State &state)
{
    const std::size_t batch = std::size_t(state.range(0));
    static const std::vector<std::uint8_t> samples = pulseSignal();
    PulseMeter meter(1000);
    std::size_t at = 0;
    for (auto _ : state)
        meter.take(nextBatch(samples, at, batch));
    benchmark::DoNotOptimize(meter.read());
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(batch));
}

// The session recording's share of the same path on the window's thread:
// batches of 15 samples on a clock that moves 15 ms a batch, about the line's
// pace, so that its hand-overs to the writer (about once a second) and sync
// requests (about every ten) come as often per batch as they would on the
// line. Time per batch x 64 batches = its cost a second; the writer's thread
// is writerPaced's.
void recording(benchmark::State &state)
{
    static const std::vector<std::uint8_t> samples = pulseSignal();
    constexpr std::size_t batch = 15;
    QTemporaryDir folder;
    SessionRecorder recorder;
    qint64 now = 0;
    recorder.setClock([&now] { return now; }, [] { return QDateTime::currentDateTime(); });
    recorder.begin(folder.path());
    std::size_t at = 0;
    const QString written = recorder.path() + QLatin1String(SessionFormat::SamplesSuffix);
    int batches = 0;
    for (auto _ : state) {
        recorder.take(nextBatch(samples, at, batch));
        now += 1000 * std::int64_t(batch) / 960;
        if (++batches % 64 == 0) {
            // A second of the line, in microseconds here: the writer's thread
            // gets the rest of the second it would have, until it holds all
            // but the second that still waits in the recorder.
            state.PauseTiming();
            while (QFileInfo(written).size() < recorder.sampleCount() - 64 * qint64(batch))
                QThread::usleep(20);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(batch));
    if (recorder.sampleCount() != std::int64_t(state.iterations()) * std::int64_t(batch))
        state.SkipWithError("samples were left out: the writer fell behind");
}

// The time the session writer's thread has spent on a CPU, in ns (Linux's
// schedstat, which counts to the nanosecond); 0 without one.
qint64 writerThreadNs()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "session writer" &&
            stat.open(QIODevice::ReadOnly))
            return stat.readAll().split(' ').value(0).toLongLong();
    }
    return 0;
}

// The writer's share, which `recording` cannot see: at the line's pace in
// real time, 64 batches of 15 samples a second, 15 ms apart, ten seconds an
// iteration so that each holds a sync. The counter is the writer thread's
// CPU a second of the line; the window's share is `recording`'s.
void writerPaced(benchmark::State &state)
{
    static const std::vector<std::uint8_t> samples = pulseSignal();
    constexpr std::size_t batch = 15;
    QTemporaryDir folder;
    SessionRecorder recorder;
    recorder.begin(folder.path());
    std::size_t at = 0;
    qint64 writerNs = 0;
    qint64 realNs = 0;
    for (auto _ : state) {
        const qint64 before = writerThreadNs();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 640; ++i) {
            recorder.take(nextBatch(samples, at, batch));
            QThread::msleep(15);
        }
        writerNs += writerThreadNs() - before;
        realNs += clock.nsecsElapsed();
    }
    state.counters["writer_ns_per_s"] = 1e9 * double(writerNs) / double(realNs);
    if (recorder.sampleCount() != std::int64_t(state.iterations()) * 640 * std::int64_t(batch))
        state.SkipWithError("samples were left out");
}

} // namespace

BENCHMARK(pulseMeterPerSample)->ArgName("batch")->Arg(15)->Unit(benchmark::kMicrosecond);
// Its writes and syncs are the writer thread's: the window's share.
// Ten minutes of the line: a fixed count, as the waits for the writer are not timed.
BENCHMARK(recording)->Iterations(64 * 600)->Unit(benchmark::kMicrosecond);
BENCHMARK(writerPaced)->Iterations(1)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// dpr 1 and 2; batches of 1 (a lone byte woke the program), 15 (one 15 ms
// tick at 960 samples/s) and 1000 (a flooding line).
BENCHMARK(perSample)->ArgNames({"dpr", "batch"})->ArgsProduct({{1, 2}, {1, 15, 1000}})->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    // The painter needs a GUI application; no display is wanted.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
