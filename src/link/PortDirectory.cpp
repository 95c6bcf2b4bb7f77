#include "PortDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString PortDirectory::portName(int portNumber)
{
    return QStringLiteral("COM") + QString::number(portNumber);
}

QString PortDirectory::folder()
{
#ifdef Q_OS_WIN
    return {};
#else
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    return runtime + QStringLiteral("/pulse-demo/ports");
#endif
}

QString PortDirectory::defaultDevice(int portNumber)
{
#ifdef Q_OS_WIN
    return portName(portNumber);
#else
    if (portNumber >= 1 && portNumber <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
    if (portNumber >= 5 && portNumber <= 12)
        return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 5);
    if (portNumber >= 13 && portNumber <= 16)
        return QStringLiteral("/dev/ttyACM%1").arg(portNumber - 13);
    return {};
#endif
}

QString PortDirectory::resolve(int portNumber)
{
#ifndef Q_OS_WIN
    const QString dir = folder();
    if (!dir.isEmpty()) {
        QString entry = dir + QLatin1Char('/') + portName(portNumber);
        // exists() follows links; a dangling link still names the port the
        // operator meant, so opening it fails with the usual warning.
        const QFileInfo info(entry);
        if (info.exists() || info.isSymLink())
            return entry;
    }
#endif
    return defaultDevice(portNumber);
}

QString PortDirectory::describe(int portNumber)
{
    QString path = resolve(portNumber);
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        return target.isEmpty() ? path : target;
    }
    return path;
}
