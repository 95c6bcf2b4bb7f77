#include "SensorSession.h"

#include "acquire/RecordFormat.h"
#include "link/PortDirectory.h"
#include "link/SensorCommands.h"
#include "link/SerialNumber.h"

#include <QDir>

namespace {

// busyChanged(true) for as long as it lives.
class Busy
{
public:
    explicit Busy(SensorSession *session)
        : session_(session)
    {
        emit session_->busyChanged(true);
    }
    ~Busy() { emit session_->busyChanged(false); }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;

private:
    SensorSession *session_;
};

// Bytes taken from the line per read, into storage on the stack: a batch
// costs no allocation.
constexpr size_t ReadChunkBytes = 4096;

} // namespace

SensorSession::SensorSession(std::unique_ptr<SerialService> line, QObject *parent)
    : QObject(parent)
    , line_(std::move(line))
{
    connect(line_.get(), &SerialService::readyRead, this, &SensorSession::drainInput);
    // Queued: the warning must not open inside the serial code that noticed.
    connect(line_.get(), &SerialService::failed, this, &SensorSession::onLineFailed, Qt::QueuedConnection);
    watch_.setInterval(WatchIntervalMs);
    connect(&watch_, &QTimer::timeout, this, &SensorSession::lookForLostPort);
    // Queued too: not from inside the write that failed, which may be the
    // serial line's.
    connect(&recorder_, &SessionRecorder::failed, this, &SensorSession::onRecordingFailed, Qt::QueuedConnection);
    connect(
        &recorder_, &SessionRecorder::fellBehind, this,
        [this] { tell(SessionNotice::Kind::RecordingBehind, sessionsFolder()); }, Qt::QueuedConnection);
}

SensorSession::~SensorSession() = default;

void SensorSession::tell(SessionNotice::Kind kind, const QString &record)
{
    SessionNotice n;
    n.kind = kind;
    n.record = record;
    emit notice(n);
}

bool SensorSession::requirePortOpen()
{
    if (line_->isOpen())
        return true;
    tell(SessionNotice::Kind::PortNotOpen);
    return false;
}

void SensorSession::selectPort(int index)
{
    // The operator's choice ends any wait for a lost port, and the recording.
    watch_.stop();
    recorder_.end();
    streaming_ = false;
    if (line_->isOpen())
        line_->close();
    if (index >= 0 && index < PortDirectory::LastPort)
        portNumber_ = index + PortDirectory::FirstPort;

    SessionNotice failed;
    failed.kind = SessionNotice::Kind::PortNotOpened;
    bool ok = false;
    {
        const Busy busy(this);
        ok = line_->open(portNumber_, &failed.open) && initialise(SensorCommands::portInitialisation());
    }
    if (!ok) {
        emit notice(failed);
        return;
    }
    opened_ = line_->present(portNumber_);
    // The sensor is now at its power-up settings: show them, not what the
    // controls showed before.
    rateOption_ = SensorCommands::PowerUpRateOption;
    gainOption_ = SensorCommands::PowerUpGainOption;
    baselineLevel_ = SensorCommands::PowerUpBaseline;
    emit parametersChanged();
}

void SensorSession::start()
{
    if (!requirePortOpen())
        return;
    // The newest Start takes the bytes from now on; a serial-number query still
    // waiting never completes.
    pendingQueries_ = 0;
    recordingWarned_ = false;
    if (!recorder_.recording())
        beginRecording();
    acquisition_.startRun();
    restartPulse();
    started_ = true;
    streaming_ = line_->write(SensorCommands::StartStream);
    recorder_.note(SessionFormat::Kind::Start,
                   {QString::number(SensorCommands::RatesHz[size_t(rateOption_)]), QString::number(gainOption_ + 1),
                    QString::number(baselineLevel_)});
    // Bytes already waiting become the first samples.
    drainInput();
}

void SensorSession::stop()
{
    const bool sent = line_->isOpen() && line_->write(SensorCommands::StopStream);
    // Also while the port is lost: a port that comes back stays stopped.
    streaming_ = resumeStreaming_ = false;
    // The buffer may hold a recording made before the sensor went away, so it
    // is saved even when the stop command could not be sent. The index line
    // says what the window showed at this moment.
    RecordIndex::Entry facts;
    facts.rateHz = SensorCommands::RatesHz[size_t(rateOption_)];
    facts.gain = gainOption_ + 1;
    facts.baseline = baselineLevel_;
    facts.port = PortDirectory::portName(portNumber_);
    facts.device = PortDirectory::device(portNumber_);
    const QString name = RecordFormat::fileName(fileNumber_);
    SessionNotice n;
    n.kind = SessionNotice::Kind::RecordNotSaved;
    n.record = name;
    n.save = recordWriter_.save(QDir::currentPath(), fileNumber_, acquisition_.sweep(), facts);
    // The record leads back to its place in the session by its checksum.
    recorder_.note(SessionFormat::Kind::Stop,
                   n.save.record ? QStringList {name, QString::fromLatin1(n.save.digest)}
                                 : QStringList {QStringLiteral("-"), QStringLiteral("-")});
    recorder_.sync();
    if (!n.save.record) {
        emit notice(n);
        return;
    }
    ++fileNumber_;
    if (!n.save.indexLine) {
        n.kind = SessionNotice::Kind::IndexLineMissing;
        emit notice(n);
    }
    if (!sent)
        tell(SessionNotice::Kind::StopWithoutPort, name);
}

void SensorSession::closePort()
{
    watch_.stop();
    recorder_.end();
    if (line_->isOpen())
        line_->close();
}

bool SensorSession::sendSensorCommand(const QByteArray &command, const QByteArray &parameter)
{
    if (!requirePortOpen())
        return false;
    // Stop, change, restart. A write that fails has closed the port and
    // reported it, so the sequence just ends there.
    const Busy busy(this);
    if (!line_->write(SensorCommands::StopStream))
        return false;
    line_->pause(SerialService::Pause::Busy);
    if (!line_->write(command) || !line_->write(parameter))
        return false;
    line_->pause(SerialService::Pause::Busy);
    // What came before the change has all arrived by now and goes; the
    // first samples after the restart are kept, however late this thread
    // gets to run again.
    line_->discardInput();
    restartPulse();
    if (!line_->write(SensorCommands::StartStream))
        return false;
    streaming_ = true;
    line_->discardOutput();
    return true;
}

void SensorSession::setRate(int option)
{
    // What the window shows, whether or not the sensor could be told.
    rateOption_ = option;
    sendSensorCommand(SensorCommands::SetRate, SensorCommands::parameter(option));
    // From here on the samples come at this rate, once the sensor has it.
    recorder_.note(SessionFormat::Kind::Rate, {QString::number(SensorCommands::RatesHz[size_t(option)])});
}

void SensorSession::setGain(int option)
{
    gainOption_ = option;
    sendSensorCommand(SensorCommands::SetGain, SensorCommands::parameter(option));
    recorder_.note(SessionFormat::Kind::Gain, {QString::number(option + 1)});
}

void SensorSession::changeBaseline(int step)
{
    if (!requirePortOpen())
        return;
    constexpr int levels = SensorCommands::BaselineLevels;
    const int level = (baselineLevel_ + step + levels) % levels;
    // The level shown is the sensor's: it changes only once the command is out.
    if (!sendSensorCommand(SensorCommands::SetBaseline, SensorCommands::parameter(level)))
        return;
    baselineLevel_ = level;
    recorder_.note(SessionFormat::Kind::Baseline, {QString::number(level)});
    emit parametersChanged();
}

void SensorSession::baselineUp()
{
    changeBaseline(+1);
}

void SensorSession::baselineDown()
{
    changeBaseline(-1);
}

void SensorSession::querySerialNumber()
{
    if (!requirePortOpen())
        return;
    line_->discardInput();
    if (!line_->write(SensorCommands::SerialNumber))
        return;
    serialText_.clear();
    emit serialNumberChanged(serialText_);
    ++pendingQueries_;
    drainInput();
}

void SensorSession::drainInput()
{
    // The newest query is served first; an older one then needs six more.
    while (pendingQueries_ > 0) {
        if (line_->bytesAvailable() < SerialNumber::ReplyLength)
            return;
        const QString digits = SerialNumber::digitsText(line_->read(SerialNumber::ReplyLength));
        serialText_ += digits;
        --pendingQueries_;
        recorder_.note(SessionFormat::Kind::Serial, {digits});
        emit serialNumberChanged(serialText_);
    }
    if (started_)
        takeSamples();
}

void SensorSession::takeSamples()
{
    // Everything waiting is one batch, and the view hears of it once.
    std::array<char, ReadChunkBytes> chunk;
    while (line_->bytesAvailable() > 0) {
        const qint64 n = line_->read(chunk.data(), qint64(chunk.size()));
        if (n <= 0)
            break;
        const std::span<const std::uint8_t> samples(reinterpret_cast<const std::uint8_t *>(chunk.data()), size_t(n));
        acquisition_.take(samples);
        recorder_.take(samples);
        pulse_.take(samples);
    }
    emit traceChanged(acquisition_.finishBatch());
}

void SensorSession::restartPulse()
{
    // A gap is no beat interval; the rate may have changed too.
    pulse_.restart(SensorCommands::RatesHz[size_t(rateOption_)]);
}

void SensorSession::onLineFailed()
{
    if (failedReconnecting_) {
        // Gone again before it was set up: the operator was told already.
        failedReconnecting_ = false;
        return;
    }
    resumeStreaming_ = streaming_;
    refusedLooks_ = 0;
    // What came before is on disk, whatever happens next.
    recorder_.note(SessionFormat::Kind::Lost);
    recorder_.sync();
    restartPulse();
    // Started first: the warning box is modal, and the port may come back
    // while it is open.
    watch_.start();
    tell(SessionNotice::Kind::PortLost);
}

void SensorSession::lookForLostPort()
{
    // Only what the port led to before: the same folder entry (whatever it
    // links to now) or the same device of the fixed table, never the table's
    // device once the entry is gone.
    const std::optional<SerialService::Presence> now = line_->present(portNumber_, false);
    if (!now || !opened_ || now->entry != opened_->entry) {
        refusedLooks_ = 0;
        return;
    }
    // Where the system knew the adapter's serial number, only that adapter,
    // and not before the system knows it again. Asking costs more than a
    // glance, so a refused device is asked about again only now and then.
    if (!opened_->serialNumber.isEmpty()) {
        if (refusedLooks_ > 0) {
            --refusedLooks_;
            return;
        }
        const std::optional<SerialService::Presence> adapter = line_->present(portNumber_);
        if (!adapter || adapter->serialNumber != opened_->serialNumber) {
            refusedLooks_ = RefusedLooks;
            return;
        }
    }
    if (!line_->open(portNumber_))
        return; // not ready yet; the next look tries again
    watch_.stop();
    if (!setSensorAsShown()) {
        failedReconnecting_ = true;
        watch_.start();
        return;
    }
    recorder_.note(SessionFormat::Kind::Back);
    emit reconnected();
}

bool SensorSession::initialise(const std::array<QByteArray, 3> &commands)
{
    for (const QByteArray &command : commands) {
        line_->pause(SerialService::Pause::PortInit);
        if (!line_->write(command))
            return false;
    }
    return true;
}

bool SensorSession::setSensorAsShown()
{
    // The usual initialisation, with what the window shows instead of the
    // power-up values, then the stream if it ran before.
    const Busy busy(this);
    if (!initialise(SensorCommands::initialisation(gainOption_, baselineLevel_, rateOption_)))
        return false;
    streaming_ = resumeStreaming_ && line_->write(SensorCommands::StartStream);
    return line_->isOpen();
}

bool SensorSession::addMarker()
{
    if (!started_ || !streaming_ || !line_->isOpen())
        return false;
    ++markers_;
    recorder_.note(SessionFormat::Kind::Marker, {QString::number(markers_)});
    acquisition_.mark(markers_);
    emit traceChanged(acquisition_.finishBatch());
    return true;
}

void SensorSession::beginRecording()
{
    markers_ = 0;
    if (!recorder_.begin(QDir::currentPath()))
        QMetaObject::invokeMethod(this, &SensorSession::onRecordingFailed, Qt::QueuedConnection);
}

QString SensorSession::sessionsFolder()
{
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(QString::fromLatin1(SessionFormat::FolderName)));
}

void SensorSession::onRecordingFailed()
{
    if (recordingWarned_)
        return;
    recordingWarned_ = true;
    SessionNotice n;
    n.kind = SessionNotice::Kind::RecordingFailed;
    n.record = sessionsFolder();
    n.save.problem = recorder_.problem();
    emit notice(n);
}
