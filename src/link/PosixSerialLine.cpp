#include "PosixSerialLine.h"

#include "PortDirectory.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Most read in one turn of the event loop: reading on while a flood refills
// the driver kept clicks waiting for hundreds of milliseconds (measured).
constexpr size_t ChunkBytes = 4096;

// Where QSerialPort looks for its lock files, in its order; the first folder
// that holds the file or may receive it is used.
const char *const LockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                   "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

// QSerialPort's lock file for a device: "LCK.." and the path without "/dev/",
// every '/' made '_'. Empty when no folder can take it.
QString lockFileFor(const QString &device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name = QStringLiteral("/LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : LockFolders) {
        const QFileInfo dir(QString::fromLatin1(folder));
        const QString path = dir.filePath() + name;
        if (dir.isReadable() && (QFileInfo::exists(path) || dir.isWritable()))
            return path;
    }
    return {};
}

SerialService::OpenFailure failureOf(int error)
{
    using F = SerialService::OpenFailure;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case EIO: // a serial port node with no hardware behind it
        return F::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return F::NoPermission;
    case EBUSY: // another program holds it in exclusive mode
        return F::InUse;
    case EISDIR:
    case ENOTTY:
        return F::NotASerialLine;
    default:
        return F::Other;
    }
}

// 9600 baud, 8N1, no flow control, every byte as it comes. False (errno
// set) when the device refuses.
bool setRaw9600(int fd, termios settings)
{
    ::cfmakeraw(&settings); // 8 data bits, no parity
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | CRTSCTS);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    // At least one byte per read: with none waiting a read then fails with
    // EAGAIN, and a zero-byte read means the line hung up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool hungUp(int fd)
{
    pollfd p {fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

} // namespace

PosixSerialLine::PosixSerialLine(QObject *parent)
    : SerialService(parent)
{
    // A steady cadence: restarting after each batch would add the batch's
    // own time to every interval.
    tick_.setInterval(TickMs);
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, &PosixSerialLine::onTick);
}

PosixSerialLine::~PosixSerialLine()
{
    close();
}

bool PosixSerialLine::open(int portNumber, OpenError *why)
{
    close();
    const std::optional<OpenFailure> failure = openDevice(PortDirectory::resolve(portNumber));
    if (failure && why)
        *why = {*failure, PortDirectory::device(portNumber)};
    return !failure;
}

std::optional<SerialService::OpenFailure> PosixSerialLine::openDevice(const QString &path)
{
    if (const std::optional<OpenFailure> failure = lockDevice(path))
        return failure;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings {};
    if (fd < 0 || ::tcgetattr(fd, &settings) < 0) {
        const int error = errno;
        const OpenFailure failure = abandonOpen(fd, error);
        if (failure == OpenFailure::Other)
            qWarning("pulse-demo: cannot open %s: %s", qPrintable(path), std::strerror(error));
        return failure;
    }
    saved_ = std::make_unique<termios>(settings);
    ::ioctl(fd, TIOCEXCL);
    if (!setRaw9600(fd, settings))
        return abandonOpen(fd, errno);
    listen(fd);
    return std::nullopt;
}

std::optional<SerialService::OpenFailure> PosixSerialLine::lockDevice(const QString &path)
{
    // The lock QSerialPort takes for this path, and one for the device a
    // link leads to, so that two links to one device exclude each other too.
    QStringList devices {path};
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!target.isEmpty() && target != path)
        devices << target;
    for (const QString &device : devices) {
        const QString lockFile = lockFileFor(device);
        auto lock = std::make_unique<QLockFile>(lockFile);
        if (lockFile.isEmpty() || !lock->tryLock(0)) {
            locks_.clear();
            return !lockFile.isEmpty() && lock->error() == QLockFile::LockFailedError ? OpenFailure::InUse
                                                                                      : OpenFailure::NoPermission;
        }
        locks_.push_back(std::move(lock));
    }
    return std::nullopt;
}

SerialService::OpenFailure PosixSerialLine::abandonOpen(int fd, int error)
{
    if (fd >= 0)
        ::close(fd);
    locks_.clear();
    return failureOf(error);
}

void PosixSerialLine::listen(int fd)
{
    fd_ = fd;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PosixSerialLine::onReadable);
}

void PosixSerialLine::close()
{
    tick_.stop();
    quietTicks_ = 0;
    received_.clear();
    if (notifier_) {
        // Possibly inside its own signal: delete it once that has returned.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (fd_ >= 0) {
        ::tcsetattr(fd_, TCSANOW, saved_.get());
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    locks_.clear();
}

bool PosixSerialLine::write(const QByteArray &bytes)
{
    if (fd_ < 0)
        return false;
    const char *next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, next, size_t(left));
        if (n > 0) {
            next += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p {fd_, POLLOUT, 0};
            if (::poll(&p, 1, WriteTimeoutMs) > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
        }
        fail();
        return false;
    }
    // On the wire before the pause that follows. A pseudo-terminal passes
    // the bytes on at once and does not wait here.
    while (::tcdrain(fd_) < 0) {
        if (errno == EINTR)
            continue;
        fail();
        return false;
    }
    return true;
}

QByteArray PosixSerialLine::read(qint64 maxBytes)
{
    QByteArray out(qsizetype(std::min(maxBytes, bytesAvailable())), Qt::Uninitialized);
    read(out.data(), out.size());
    return out;
}

qint64 PosixSerialLine::read(char *data, qint64 maxBytes)
{
    const auto n = size_t(std::clamp<qint64>(maxBytes, 0, bytesAvailable()));
    if (n == 0)
        return 0;
    std::memcpy(data, received_.data(), n);
    received_.erase(received_.begin(), received_.begin() + qsizetype(n));
    bytesRead_ += qint64(n);
    return qint64(n);
}

void PosixSerialLine::discardInput()
{
    received_.clear();
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

void PosixSerialLine::discardOutput()
{
    // write() hands every byte to the driver and waits for it to leave, so
    // nothing of ours is pending. What a pseudo-terminal still queues is the
    // restart command just written: flushing it would leave the sensor
    // stopped. So the line keeps it.
}

qint64 PosixSerialLine::collect()
{
    const size_t kept = received_.size();
    received_.resize(kept + ChunkBytes);
    ssize_t n;
    do
        n = ::read(fd_, received_.data() + kept, ChunkBytes);
    while (n < 0 && errno == EINTR);
    received_.resize(kept + size_t(std::max<ssize_t>(n, 0)));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    // A zero-byte read is a hang-up; EIO and ENXIO a device that went away.
    return n > 0 ? qint64(n) : -1;
}

void PosixSerialLine::onReadable()
{
    ++wakeUps_;
    const qint64 n = collect();
    if (n < 0 || (n == 0 && hungUp(fd_))) {
        fail();
        return;
    }
    // The first bytes of a burst: hand them on now, then read on ticks with
    // nothing listening in between.
    notifier_->setEnabled(false);
    quietTicks_ = 0;
    tick_.start();
    if (n > 0)
        handOn();
}

void PosixSerialLine::onTick()
{
    if (fd_ < 0 || !tick_.isActive())
        return; // a queued read that outlived its burst
    const qint64 n = collect();
    if (n < 0) {
        fail();
        return;
    }
    if (n == 0) {
        if (++quietTicks_ >= QuietTicks) {
            tick_.stop();
            notifier_->setEnabled(true); // quiet: wait for the next byte
        }
        return;
    }
    quietTicks_ = 0;
    handOn();
    if (n >= BacklogBytes) // a flood: read again as soon as events allow
        QMetaObject::invokeMethod(this, &PosixSerialLine::onTick, Qt::QueuedConnection);
}

void PosixSerialLine::dropOldest(qint64 count)
{
    // Not read: bytesRead() counts what the program took.
    received_.erase(received_.begin(), received_.begin() + qsizetype(count));
}
