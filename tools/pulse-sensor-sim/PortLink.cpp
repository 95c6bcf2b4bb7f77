#include "PortLink.h"

#include "link/PortDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

PortLink::PortLink(int portNumber)
{
    const QString folder = PortDirectory::folder();
    if (!folder.isEmpty())
        path_ = folder + QLatin1Char('/') + PortDirectory::portName(portNumber);
}

PortLink::PortLink(QString path)
    : path_(std::move(path))
{ }

QString PortLink::byIdPath(int portNumber)
{
    const QString folder = PortDirectory::folder();
    if (folder.isEmpty())
        return {};
    return QFileInfo(folder).path() + QStringLiteral("/by-id/pulse-sensor-sim-") + PortDirectory::portName(portNumber);
}

PortLink::~PortLink()
{
    remove();
}

bool PortLink::create(const QString &target, QString *why)
{
    if (path_.isEmpty()) {
        *why = QStringLiteral("this system has no runtime folder for the port links");
        return false;
    }
    const QString folder = QFileInfo(path_).path();
    if (!QDir().mkpath(folder)) {
        *why = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    // Link under a private name, then rename over the old entry, so the
    // program never finds the name missing or half made.
    const QByteArray final = QFile::encodeName(path_);
    const QByteArray temporary = final + ".new." + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), final.constData()) != 0) {
        *why = path_ + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(temporary.constData());
        return false;
    }
    target_ = target;
    return true;
}

void PortLink::remove()
{
    if (target_.isEmpty())
        return;
    const QByteArray final = QFile::encodeName(path_);
    char pointsAt[4096];
    const ssize_t n = ::readlink(final.constData(), pointsAt, sizeof pointsAt - 1);
    if (n >= 0 && QFile::decodeName(QByteArray(pointsAt, static_cast<int>(n))) == target_)
        ::unlink(final.constData());
    target_.clear();
}
