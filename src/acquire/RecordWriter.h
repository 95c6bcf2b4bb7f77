#pragma once

#include "RecordIndex.h"
#include "Sweep.h"

#include <QByteArray>
#include <QSet>
#include <QString>

// Record files: 1146 raw samples, buffer entries 1..1146 at offsets 0..1145,
// no header. Other programs read them, so the layout never changes; what a
// record does not say goes into the index beside it.
class RecordWriter
{
public:
    static constexpr int FirstEntry = 1;
    static constexpr int RecordSize = 1146;

    static QString fileName(int fileNumber) { return QString::number(fileNumber); }

    // The bytes a record of this buffer holds.
    static QByteArray recordBytes(const Sweep::Buffer &buffer);

    // The numbered backup name for `name` in `folder`, as cp --backup=numbered
    // picks it: "1.~1~", or one past the highest "1.~N~" already there.
    static QString backupName(const QString &folder, const QString &name);

    struct Saved
    {
        bool record = false;    // the record file is in place
        bool indexLine = false; // and its index line too
        QString backup;         // the name an earlier file was kept under, if any
        QString reason;         // Simplified Chinese, when either failed
    };

    // Saves record `fileNumber` into `folder` atomically. A file of that name
    // that this run did not write is first kept as a numbered backup; if that
    // cannot be done, nothing changes. Then one index line is added, filled
    // from `facts` (rate, gain, baseline, port, device) and the sweep.
    Saved save(const QString &folder, int fileNumber, const Sweep &sweep, RecordIndex::Entry facts);

private:
    QSet<QString> written_; // absolute paths of the records this run saved
};
