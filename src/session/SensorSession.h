#pragma once

#include "CommandSequence.h"
#include "LostPortWatch.h"
#include "SessionLog.h"
#include "SessionNotice.h"
#include "acquire/Acquisition.h"
#include "acquire/PulseMeter.h"
#include "acquire/RecordWriter.h"
#include "link/SerialService.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

// What the operator's clicks ask of the sensor, with no widget: owns the
// serial line, the acquisition and the record writer, and the state the
// window shows (port, rate, gain, baseline, record number, serial number).
//
// Who takes received bytes: a serial-number query while one waits (the newest
// first), otherwise, once Start has been clicked, the acquisition, the
// recording and the pulse meter, in that order; otherwise nobody, and they
// wait in the port until the next discard.
//
// Every request runs to its end before it returns, pauses included, as the
// sensor needs (CommandSequence); busyChanged() brackets the pauses so the
// window can say so.
//
// When the open line goes away, a LostPortWatch waits for the same port to
// come back with the same device; the session then sets the sensor to the
// rate, gain and baseline shown and restarts the stream if it was streaming.
// A pick ends the watching.
//
// Every sample taken also goes to the pulse meter, read once a second and
// sent out as pulseRead().
//
// From the first Start after a pick until Exit or the next pick, every sample
// taken and what happened on the way go into one session recording in the
// records folder (SessionLog); a recording that cannot be written is
// reported once per Start, and the next Start begins a new one.
class SensorSession : public QObject
{
    Q_OBJECT
public:
    // The layout's selections before the first pick: 200Hz and 4x.
    static constexpr int InitialRateOption = 0;
    static constexpr int InitialGainOption = 3;

    explicit SensorSession(std::unique_ptr<SerialService> line, QObject *parent = nullptr);
    ~SensorSession() override;

    int portNumber() const { return portNumber_; }
    int rateOption() const { return rateOption_; } // index into SensorCommands::RatesHz
    int gainOption() const { return gainOption_; } // gain - 1
    int baselineLevel() const { return baselineLevel_; }
    int fileNumber() const { return fileNumber_; }
    // Start was clicked: from then on every byte no query waits for is a
    // sample, Stop or not.
    bool started() const { return started_; }
    int pendingSerialQueries() const { return pendingQueries_; }
    const QString &serialNumberText() const { return serialText_; }
    const Acquisition &acquisition() const { return acquisition_; }
    bool watchingForPort() const { return watch_.active(); }
    const SessionRecorder &recorder() const { return log_.recorder(); }

    // The operator's requests. `index`/`option` count from 0.
    void selectPort(int index);
    void start();
    void stop();
    void setRate(int option);
    void setGain(int option);
    void baselineUp() { changeBaseline(+1); }
    void baselineDown() { changeBaseline(-1); }
    void querySerialNumber();
    // An operator's marker at the newest sample, while streaming; false
    // otherwise.
    bool addMarker();
    // Exit: the port closes, nothing is sent.
    void closePort();

    // Hands every received byte that has a taker now to it.
    void drainInput();

    // The screen's device pixels per logical pixel, for a sharp trace.
    void setDevicePixelRatio(qreal ratio) { acquisition_.setDevicePixelRatio(ratio); }

signals:
    // Sent and handled before the request goes on: a warning box is modal.
    void notice(const SessionNotice &notice);
    // Rate, gain or baseline changed other than by the operator's own click.
    void parametersChanged();
    void serialNumberChanged(const QString &text);
    void traceChanged(const TraceUpdate &update);
    // Around the pauses between commands, which process no events.
    void busyChanged(bool busy);
    // The lost port is open again and the sensor set as before.
    void reconnected();
    // The pulse meter's reading, once a second: every sample the acquisition
    // takes, restarted wherever the stream starts afresh and when the line is
    // lost; after Stop the last rate stays until readings without a beat.
    void pulseRead(const PulseMeter::Reading &reading);

private:
    bool requirePortOpen();
    bool sendSensorCommand(const QByteArray &command, const QByteArray &parameter);
    void changeBaseline(int step);
    void takeSamples();
    void restartPulse();
    void onLineFailed();
    void onPortReopened();
    int rateHz() const;
    int gain() const { return gainOption_ + 1; }
    bool setSensorAsShown();
    void tell(SessionNotice::Kind kind, const QString &record = {});

    std::unique_ptr<SerialService> line_;
    CommandSequence commands_;
    Acquisition acquisition_;
    PulseMeter pulse_;
    QTimer pulseReading_;
    RecordWriter recordWriter_;
    SessionLog log_;

    int portNumber_ = 1;
    int rateOption_ = InitialRateOption;
    int gainOption_ = InitialGainOption;
    int baselineLevel_ = 0;
    int fileNumber_ = 1;
    bool started_ = false;
    int pendingQueries_ = 0;
    QString serialText_;

    bool streaming_ = false; // the sensor was last told to stream
    LostPortWatch watch_;
    bool resumeStreaming_ = false;    // when the lost port is back
    bool failedReconnecting_ = false; // the line went away again while being set up
};
