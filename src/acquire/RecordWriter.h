#pragma once

#include "Sweep.h"

#include <QByteArray>
#include <QString>

// Record files: 1146 raw samples, buffer entries 1..1146 at offsets 0..1145,
// no header. Other programs read them, so the layout never changes.
class RecordWriter
{
public:
    static constexpr int FirstEntry = 1;
    static constexpr int RecordSize = 1146;

    static QString fileName(int fileNumber) { return QString::number(fileNumber); }

    // The bytes a record of this buffer holds.
    static QByteArray recordBytes(const Sweep::Buffer &buffer);

    // Writes the record atomically: the file of that name is replaced only
    // once the new one is complete, so a failed save leaves it as it was.
    // On failure, *reason holds a Simplified Chinese explanation.
    static bool save(const QString &path, const Sweep::Buffer &buffer, QString *reason = nullptr);
};
