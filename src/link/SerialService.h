#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

// The serial line to the sensor, as the window uses it. PosixSerialLine (Unix)
// and QtSerialService (Windows) implement it, a recording double in the tests.
class SerialService : public QObject
{
    Q_OBJECT
public:
    // The two pauses between sensor commands. Neither processes window events:
    // clicks made meanwhile are handled afterwards, in order.
    enum class Pause { Busy, PortInit };
    static constexpr int BusyDelayMs = 100;
    static constexpr int PortInitDelayMs = 500;
    // Received bytes kept for the program while nobody reads them; beyond
    // this the oldest are dropped, as a full receive buffer would.
    static constexpr qint64 InBufferSize = 1024;
    // How long a write may take to reach the line before the port counts as failed.
    static constexpr int WriteTimeoutMs = 1000;

    // Why a port could not be opened, and the device it stood for.
    enum class OpenFailure { Missing, NoPermission, InUse, NotASerialLine, Other };
    struct OpenError
    {
        OpenFailure failure = OpenFailure::Other;
        QString device;
        bool operator==(const OpenError &) const = default;
    };

    // A device behind a port: what the port name led to (the port folder's
    // entry, or the fixed table's device), the device node it stands for
    // and, where the system knows it, the adapter's serial number.
    struct Presence
    {
        QString entry;
        QString device;
        QString serialNumber;
    };

    using QObject::QObject;

    // Opens COM<portNumber> (1..16) at 9600 8N1. On failure the port stays
    // closed and *why (if given) says why.
    virtual bool open(int portNumber, OpenError *why = nullptr) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Writes the bytes and pushes them to the line before returning, so that a
    // pause that follows really separates commands. False when the port is
    // closed or the write failed (the port is then closed and failed() sent).
    virtual bool write(const QByteArray &bytes) = 0;

    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Reads into caller storage; avoids an allocation per batch on the hot path.
    virtual qint64 read(char *data, qint64 maxBytes) = 0;

    // Drops every received byte not yet read.
    virtual void discardInput() = 0;
    // Drops output not yet sent, but never what was written before it: the
    // last command must still reach the sensor.
    virtual void discardOutput() = 0;

    // A fixed sleep of BusyDelayMs or PortInitDelayMs.
    virtual void pause(Pause kind);

    // The device COM<portNumber> stands for now, if one is there: one look at
    // the file system, and a look at the system's port list for the serial
    // number (dearer) when asked for.
    virtual std::optional<Presence> present(int portNumber, bool askSerialNumber = true) const;

signals:
    void readyRead();
    // The open port failed (device gone, read or write error). The port has
    // already been closed when this is sent, and it is sent once per failure.
    void failed();

protected:
    // What every line does with received bytes: tells the reader, then keeps
    // what it left up to InBufferSize, dropping the oldest.
    void handOn();
    // Closes the open port after a failure and sends failed(), once.
    void fail();
    // Drops the oldest received bytes unread.
    virtual void dropOldest(qint64 count) { read(count); }
};
