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

QString PortDirectory::describe(int portNumber, const QList<QSerialPortInfo> &known)
{
    const QString path = resolve(portNumber);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const auto it = std::find_if(known.begin(), known.end(), [&](const QSerialPortInfo &p) {
        return p.systemLocation() == canonical || p.portName() == path;
    });
    const bool listed = it != known.end();
    // The built-in table's nodes exist whether or not hardware is behind them,
    // so only the system's list says they are there; a folder entry is taken
    // at its word.
    const bool present = listed || (path != defaultDevice(portNumber) && QFileInfo::exists(path));
    QStringList lines {device(portNumber) + (present ? QStringLiteral("：已连接") : QStringLiteral("：未连接"))};
    if (listed) {
        const QList<QPair<QString, QString>> fields = {{QStringLiteral("描述"), it->description()},
                                                       {QStringLiteral("制造商"), it->manufacturer()},
                                                       {QStringLiteral("序列号"), it->serialNumber()}};
        for (const auto &[label, value] : fields) {
            if (!value.isEmpty())
                lines << label + QStringLiteral("：") + value;
        }
    }
    return lines.join(QLatin1Char('\n'));
}
