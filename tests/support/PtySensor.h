#pragma once

#include "link/PortDirectory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// The sensor's end of a pseudo-terminal, linked into the port folder as a
// COM port, for tests of the serial lines on Unix.
class PtySensor
{
public:
    ~PtySensor() { hangUp(); }

    // Links `target` as COM<port> in the port folder, replacing any entry.
    static bool link(int port, const QString &target)
    {
        const QString entry = PortDirectory::folder() + QStringLiteral("/COM%1").arg(port);
        QFile::remove(entry);
        return QDir().mkpath(PortDirectory::folder()) && QFile::link(target, entry);
    }

    // A new pseudo-terminal linked as COM<port>; returns its device, or
    // nothing if none could be made.
    QString attach(int port)
    {
        hangUp();
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return {};
        // Raw at once: a new pty echoes and rewrites bytes.
        termios t {};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        const QString slave = QString::fromLocal8Bit(ptsname(master_));
        return link(port, slave) ? slave : QString();
    }

    // What the sensor has received by now, without waiting.
    QByteArray received()
    {
        QByteArray out;
        char buf[256];
        for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
            out.append(buf, n);
        return out;
    }

    bool send(const QByteArray &bytes) { return ::write(master_, bytes.constData(), bytes.size()) == bytes.size(); }

    int fd() const { return master_; }

    // The adapter pulled: the program's side sees the line hang up.
    void hangUp()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
};
