#pragma once

#include "SessionNotice.h"
#include "recording/SessionRecorder.h"

#include <QObject>

// The session's recording as the session keeps it: begun at the first Start
// after a pick (or after one that failed), in the records folder (the current
// folder); a recording that cannot be written, or a disk that falls behind,
// told to the operator at most once per Start; and the markers numbered from
// 1 in each recording.
class SessionLog : public QObject
{
    Q_OBJECT
public:
    explicit SessionLog(QObject *parent = nullptr);

    // Start: a new recording unless one is open; a failure may be told again.
    void startRun();
    void end() { recorder_.end(); }
    void take(std::span<const std::uint8_t> samples) { recorder_.take(samples); }
    void note(SessionFormat::Kind kind, const QStringList &values = {}) { recorder_.note(kind, values); }
    void sync() { recorder_.sync(); }
    // The next marker's number, noted at the current sample.
    int mark();
    const SessionRecorder &recorder() const { return recorder_; }

signals:
    void notice(const SessionNotice &notice);

private:
    void onFailed();
    void tell(SessionNotice::Kind kind);
    static QString folder(); // as the operator is told it

    SessionRecorder recorder_;
    int markers_ = 0;    // in this recording
    bool warned_ = true; // since the last Start
};
