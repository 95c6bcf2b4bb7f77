#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

// A fresh, empty working directory for one test, where Stop saves its
// numbered records; the earlier one is current again when it goes.
class WorkingFolder
{
public:
    WorkingFolder()
    {
        if (!dir_.isValid() || !QDir::setCurrent(dir_.path()))
            qFatal("no working folder");
    }
    ~WorkingFolder() { QDir::setCurrent(start_); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

private:
    QString start_ = QDir::currentPath();
    QTemporaryDir dir_;
};

// A file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
