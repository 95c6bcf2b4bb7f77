#include "PortDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

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

QString PortDirectory::device(int portNumber)
{
    QString path = resolve(portNumber);
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        return target.isEmpty() ? path : target;
    }
    return path;
}

PortDirectory::Description PortDirectory::describe(int portNumber, const QList<QSerialPortInfo> &known)
{
    const QString path = resolve(portNumber);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const auto it = std::find_if(known.begin(), known.end(), [&](const QSerialPortInfo &p) {
        return p.systemLocation() == canonical || p.portName() == path;
    });
    const bool listed = it != known.end();
    Description d;
    d.device = device(portNumber);
    // The built-in table's nodes exist whether or not hardware is behind them,
    // so only the system's list says they are there; a folder entry is taken
    // at its word.
    d.present = listed || (path != defaultDevice(portNumber) && QFileInfo::exists(path));
    if (listed) {
        d.description = it->description();
        d.manufacturer = it->manufacturer();
        d.serialNumber = it->serialNumber();
    }
    return d;
}
