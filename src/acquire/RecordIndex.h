#pragma once

#include "FileProblem.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// The index beside the records: one tab-separated UTF-8 line per saved
// record, saying how and when it was made, under one header line. The
// records themselves stay raw bytes; only this file describes them.
class RecordIndex
{
public:
    // Not a number, so it can never be the name of a record or its backup.
    static inline const QString FileName = QStringLiteral("index.tsv");
    static const QStringList Columns;
    // Far more than any real index (a line is about 200 bytes): a larger
    // file is not one, and is not read.
    static constexpr qint64 MaxBytes = qint64(64) << 20;

    struct Entry
    {
        QString name;      // the record's file name: "1"
        QDateTime savedAt; // local time of the Stop, with its UTC offset
        int rateHz = 0;    // sampling rate and gain shown at the Stop
        int gain = 0;
        int baseline = 0;
        QString port;              // "COM3"
        QString device;            // what COM3 stood for
        int sampleIndex = 0;       // the buffer entry the sweep in progress had reached
        int previousSweepEnd = -1; // the last entry the sweep before it wrote; -1: none in this run
        QByteArray digest;         // SHA-256 of the record's bytes, hex: ties the line to its file
    };

    static QByteArray digest(const QByteArray &record);
    static QByteArray header();
    static QByteArray line(const Entry &entry);
    static std::optional<Entry> parse(const QByteArray &text);

    // Adds one line, with the header when the index is new, replacing the
    // index whole so that it is never left half-written.
    static bool append(const QString &folder, const Entry &entry, FileProblem *problem = nullptr);

    // NotAFile and TooLarge: something stands where the index should, and is
    // not read (a pipe, a device, a link that leads nowhere, a huge file).
    enum class Lookup { NoIndex, Found, NoLine, Malformed, Unreadable, NotAFile, TooLarge };
    struct Found
    {
        Lookup status = Lookup::NoIndex;
        Entry entry;
        QString indexPath;
        int lineNumber = 0; // of the malformed line, counted from 1
    };
    // The line describing the record at `recordPath` whose first bytes are
    // `record`: the newest line of that name and content, else the newest of
    // that content (a record later kept as a backup).
    static Found find(const QString &recordPath, const QByteArray &record);
    // The same in an index's text, for the record named `name`.
    static Found findIn(const QByteArray &index, const QString &name, const QByteArray &record);
};
