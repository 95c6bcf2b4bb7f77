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

} // namespace

SensorSession::SensorSession(std::unique_ptr<SerialService> line, QObject *parent)
    : QObject(parent)
    , line_(std::move(line))
{
    connect(line_.get(), &SerialService::readyRead, this, &SensorSession::drainInput);
    // Queued: the warning must not open inside the serial code that noticed.
    connect(line_.get(), &SerialService::failed, this, &SensorSession::onLineFailed, Qt::QueuedConnection);
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
    if (line_->isOpen())
        line_->close();
    if (index >= 0 && index < PortDirectory::LastPort)
        portNumber_ = index + PortDirectory::FirstPort;

    SessionNotice failed;
    failed.kind = SessionNotice::Kind::PortNotOpened;
    bool ok = false;
    {
        const Busy busy(this);
        ok = line_->open(portNumber_, &failed.open);
        for (const QByteArray &command : SensorCommands::portInitialisation()) {
            if (!ok)
                break;
            line_->pause(SerialService::Pause::PortInit);
            ok = line_->write(command);
        }
    }
    if (!ok) {
        emit notice(failed);
        return;
    }
    // The sensor is now at 1x, baseline 0 and 200 Hz: show that, not what the
    // controls showed before.
    rateOption_ = 0;
    gainOption_ = 0;
    baselineLevel_ = 0;
    emit parametersChanged();
}

void SensorSession::start()
{
    if (!requirePortOpen())
        return;
    // The newest Start takes the bytes from now on; a serial-number query still
    // waiting never completes.
    pendingQueries_ = 0;
    acquisition_.startRun();
    acquiring_ = true;
    line_->write(SensorCommands::StartStream);
    // Bytes already waiting become the first samples.
    drainInput();
}

void SensorSession::stop()
{
    const bool sent = line_->isOpen() && line_->write(SensorCommands::StopStream);
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
    if (!line_->write(SensorCommands::StartStream))
        return false;
    line_->discardInput();
    line_->discardOutput();
    return true;
}

void SensorSession::setRate(int option)
{
    // What the window shows, whether or not the sensor could be told.
    rateOption_ = option;
    sendSensorCommand(SensorCommands::SetRate, SensorCommands::parameter(option));
}

void SensorSession::setGain(int option)
{
    gainOption_ = option;
    sendSensorCommand(SensorCommands::SetGain, SensorCommands::parameter(option));
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
        serialText_ += SerialNumber::digitsText(line_->read(SerialNumber::ReplyLength));
        --pendingQueries_;
        emit serialNumberChanged(serialText_);
    }
    if (acquiring_)
        takeSamples();
}

void SensorSession::takeSamples()
{
    // Everything waiting is one batch, and the view hears of it once.
    std::array<char, 4096> chunk;
    while (line_->bytesAvailable() > 0) {
        const qint64 n = line_->read(chunk.data(), qint64(chunk.size()));
        if (n <= 0)
            break;
        acquisition_.take({reinterpret_cast<const std::uint8_t *>(chunk.data()), size_t(n)});
    }
    emit traceChanged(acquisition_.finishBatch());
}

void SensorSession::onLineFailed()
{
    tell(SessionNotice::Kind::PortLost);
}
