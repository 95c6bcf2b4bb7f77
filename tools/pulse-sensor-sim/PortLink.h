#pragma once

#include <QString>

// The COMn entry in the program's port folder that points at our line (or at
// the stable name that does).
// The folder and the name come from the program's own PortDirectory, so the
// two always agree on where COMn lives.
class PortLink
{
public:
    explicit PortLink(int portNumber);
    // Any other entry, such as the stable name of a --by-id line.
    explicit PortLink(QString path);
    // <runtime dir>/pulse-demo/by-id/pulse-sensor-sim-COMn, beside the port folder.
    static QString byIdPath(int portNumber);
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;
    ~PortLink();

    // Points COMn at target, replacing whatever entry was there (a run that
    // was killed may have left one behind).
    bool create(const QString &target, QString *why);
    // Removes the entry if it still points at our target: another simulator
    // may have taken the name over since.
    void remove();

    const QString &path() const { return path_; }

private:
    QString path_;
    QString target_;
};
