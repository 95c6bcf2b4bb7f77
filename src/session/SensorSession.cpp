#include "SensorSession.h"

#include "acquire/RecordFormat.h"
#include "link/PortDirectory.h"
#include "link/SensorCommands.h"
#include "link/SerialNumber.h"

#include <QDir>

namespace {

// Bytes taken from the line per read, into storage on the stack: a batch
// costs no allocation.
constexpr size_t ReadChunkBytes = 4096;

} // namespace

SensorSession::SensorSession(std::unique_ptr<SerialService> line, QObject *parent)
    : QObject(parent)
    , line_(std::move(line))
    , commands_(*line_)
    , watch_(*line_)
{
    connect(&commands_, &CommandSequence::busyChanged, this, &SensorSession::busyChanged);
    connect(line_.get(), &SerialService::readyRead, this, &SensorSession::drainInput);
    // Queued: the warning must not open inside the serial code that noticed.
    connect(line_.get(), &SerialService::failed, this, &SensorSession::onLineFailed, Qt::QueuedConnection);
    connect(&watch_, &LostPortWatch::reopened, this, &SensorSession::onPortReopened);
    pulseReading_.setInterval(PulseMeter::ReadingIntervalMs);
    connect(&pulseReading_, &QTimer::timeout, this, [this] { emit pulseRead(pulse_.read()); });
    pulseReading_.start();
    connect(&log_, &SessionLog::notice, this, &SensorSession::notice);
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
    watch_.end();
    log_.end();
    streaming_ = false;
    if (line_->isOpen())
        line_->close();
    if (index >= 0 && index < PortDirectory::LastPort)
        portNumber_ = index + PortDirectory::FirstPort;

    SessionNotice failed;
    failed.kind = SessionNotice::Kind::PortNotOpened;
    bool ok = false;
    {
        const CommandSequence::Busy busy(commands_);
        ok = line_->open(portNumber_, &failed.open) && commands_.initialise(SensorCommands::portInitialisation());
    }
    if (!ok) {
        emit notice(failed);
        return;
    }
    watch_.remember(portNumber_);
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
    log_.startRun();
    acquisition_.startRun();
    restartPulse();
    started_ = true;
    streaming_ = line_->write(SensorCommands::StartStream);
    log_.note(SessionFormat::Kind::Start,
              {QString::number(rateHz()), QString::number(gain()), QString::number(baselineLevel_)});
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
    facts.rateHz = rateHz();
    facts.gain = gain();
    facts.baseline = baselineLevel_;
    facts.port = PortDirectory::portName(portNumber_);
    facts.device = PortDirectory::device(portNumber_);
    const QString name = RecordFormat::fileName(fileNumber_);
    SessionNotice n;
    n.kind = SessionNotice::Kind::RecordNotSaved;
    n.record = name;
    n.save = recordWriter_.save(QDir::currentPath(), fileNumber_, acquisition_.sweep(), facts);
    // The record leads back to its place in the session by its checksum.
    log_.note(SessionFormat::Kind::Stop,
              n.save.record ? QStringList {name, QString::fromLatin1(n.save.digest)}
                            : QStringList {QString::fromLatin1(SessionFormat::NoRecord),
                                           QString::fromLatin1(SessionFormat::NoRecord)});
    log_.sync();
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
    watch_.end();
    log_.end();
    if (line_->isOpen())
        line_->close();
}

bool SensorSession::sendSensorCommand(const QByteArray &command, const QByteArray &parameter)
{
    if (!requirePortOpen())
        return false;
    const bool restarted = commands_.change(command, parameter);
    restartPulse();
    if (restarted)
        streaming_ = true;
    return restarted;
}

void SensorSession::setRate(int option)
{
    // What the window shows, whether or not the sensor could be told.
    rateOption_ = option;
    sendSensorCommand(SensorCommands::SetRate, SensorCommands::parameter(option));
    // From here on the samples come at this rate, once the sensor has it.
    log_.note(SessionFormat::Kind::Rate, {QString::number(rateHz())});
}

void SensorSession::setGain(int option)
{
    gainOption_ = option;
    sendSensorCommand(SensorCommands::SetGain, SensorCommands::parameter(option));
    log_.note(SessionFormat::Kind::Gain, {QString::number(gain())});
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
    log_.note(SessionFormat::Kind::Baseline, {QString::number(level)});
    emit parametersChanged();
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
        log_.note(SessionFormat::Kind::Serial, {digits});
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
        log_.take(samples);
        pulse_.take(samples);
    }
    emit traceChanged(acquisition_.finishBatch());
}

void SensorSession::restartPulse()
{
    // A gap is no beat interval; the rate may have changed too.
    pulse_.restart(rateHz());
}

int SensorSession::rateHz() const
{
    return SensorCommands::RatesHz[size_t(rateOption_)];
}

void SensorSession::onLineFailed()
{
    if (failedReconnecting_) {
        // Gone again before it was set up: the operator was told already.
        failedReconnecting_ = false;
        return;
    }
    resumeStreaming_ = streaming_;
    // What came before is on disk, whatever happens next.
    log_.note(SessionFormat::Kind::Lost);
    log_.sync();
    restartPulse();
    // Started first: the warning box is modal, and the port may come back
    // while it is open.
    watch_.begin();
    tell(SessionNotice::Kind::PortLost);
}

void SensorSession::onPortReopened()
{
    if (!setSensorAsShown()) {
        failedReconnecting_ = true;
        watch_.begin();
        return;
    }
    log_.note(SessionFormat::Kind::Back);
    emit reconnected();
}

bool SensorSession::setSensorAsShown()
{
    // The usual initialisation, with what the window shows instead of the
    // power-up values, then the stream if it ran before.
    const CommandSequence::Busy busy(commands_);
    if (!commands_.initialise(SensorCommands::initialisation(gainOption_, baselineLevel_, rateOption_)))
        return false;
    streaming_ = resumeStreaming_ && line_->write(SensorCommands::StartStream);
    return line_->isOpen();
}

bool SensorSession::addMarker()
{
    if (!started_ || !streaming_ || !line_->isOpen())
        return false;
    acquisition_.mark(log_.mark());
    emit traceChanged(acquisition_.finishBatch());
    return true;
}
