#pragma once

#include "FileProblem.h"
#include "RecordIndex.h"
#include "Sweep.h"

#include <QSet>
#include <QString>

// Saves records (see RecordFormat) with their index lines, keeping any file
// of the record's name that this run did not write as a numbered backup.
class RecordWriter
{
public:
    // Held in the records folder from the backup to the index line, so that
    // programs saving into one folder at once never pick the same backup
    // name or lose each other's index lines.
    static inline const QString LockFileName = QStringLiteral(".pulse-demo.lock");
    static constexpr int LockWaitMs = 5000;

    // The numbered backup name for `name` in `folder`, as cp --backup=numbered
    // picks it: "1.~1~", or one past the highest "1.~N~" already there.
    static QString backupName(const QString &folder, const QString &name);

    struct Saved
    {
        bool record = false;                     // the record file is in place
        bool indexLine = false;                  // and its index line too
        QString backup;                          // the name an earlier file was (or could not be) kept under
        bool backupFailed = false;               // the earlier file could not be renamed: `problem` says why
        FileProblem problem = FileProblem::None; // why the record or its index line failed
        QByteArray digest;                       // the saved record's SHA-256, hex
    };

    // Saves record `fileNumber` into `folder` atomically. A file of that name
    // that this run did not write is first kept as a numbered backup; if that
    // cannot be done, nothing changes. Then one index line is added, filled
    // from `facts` (rate, gain, baseline, port, device) and the sweep. If the
    // folder's lock stays with another program, nothing is saved.
    Saved save(const QString &folder, int fileNumber, const Sweep &sweep, RecordIndex::Entry facts);

private:
    QSet<QString> written_; // absolute paths of the records this run saved
};
