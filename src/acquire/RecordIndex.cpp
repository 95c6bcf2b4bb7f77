#include "RecordIndex.h"

#include "AtomicFile.h"
#include "InputFile.h"
#include "RecordFormat.h"
#include "WallClock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

const QStringList RecordIndex::Columns = {
    QStringLiteral("record"), QStringLiteral("saved_at"),     QStringLiteral("rate_hz"),
    QStringLiteral("gain"),   QStringLiteral("baseline"),     QStringLiteral("port"),
    QStringLiteral("device"), QStringLiteral("sample_index"), QStringLiteral("previous_sweep_end"),
    QStringLiteral("sha256"),
};

QByteArray RecordIndex::digest(const QByteArray &record)
{
    return QCryptographicHash::hash(record, QCryptographicHash::Sha256).toHex();
}

QByteArray RecordIndex::header()
{
    return Columns.join(u'\t').toUtf8() + '\n';
}

namespace {

// Tabs and line breaks would split the line; a device path never holds them.
QString field(QString text)
{
    return text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

std::optional<int> number(const QString &text, int low, int high)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= low && n <= high ? std::optional<int>(n) : std::nullopt;
}

} // namespace

QByteArray RecordIndex::line(const Entry &e)
{
    const QStringList fields = {
        field(e.name),
        WallClock::text(e.savedAt),
        QString::number(e.rateHz),
        QString::number(e.gain),
        QString::number(e.baseline),
        field(e.port),
        field(e.device),
        QString::number(e.sampleIndex),
        QString::number(e.previousSweepEnd),
        QString::fromLatin1(e.digest),
    };
    return fields.join(u'\t').toUtf8() + '\n';
}

std::optional<RecordIndex::Entry> RecordIndex::parse(const QByteArray &text)
{
    const QStringList f = QString::fromUtf8(text).split(u'\t');
    if (f.size() != Columns.size())
        return std::nullopt;
    constexpr int lastEntry = RecordFormat::FirstEntry + RecordFormat::Size - 1;
    Entry e;
    e.name = f[0];
    e.savedAt = QDateTime::fromString(f[1], Qt::ISODateWithMs);
    const auto rate = number(f[2], 1, 100000);
    const auto gain = number(f[3], 1, 100);
    const auto baseline = number(f[4], 0, 100);
    const auto index = number(f[7], 0, lastEntry);
    const auto end = number(f[8], -1, lastEntry);
    e.port = f[5];
    e.device = f[6];
    e.digest = f[9].toLatin1();
    if (e.name.isEmpty() || !e.savedAt.isValid() || !rate || !gain || !baseline || !index || !end ||
        e.digest.size() != 64)
        return std::nullopt;
    e.rateHz = *rate;
    e.gain = *gain;
    e.baseline = *baseline;
    e.sampleIndex = *index;
    e.previousSweepEnd = *end;
    return e;
}

bool RecordIndex::append(const QString &folder, const Entry &entry, FileProblem *problem)
{
    const QString path = QDir(folder).filePath(FileName);
    // Never wait on a pipe or take in a device that stands in the index's place.
    const InputFile::Result old = InputFile::read(path, MaxBytes);
    if (old.status != InputFile::Status::Read && old.status != InputFile::Status::Missing) {
        if (problem)
            *problem = QFileInfo(path).isDir() ? FileProblem::FolderInTheWay : FileProblem::Unreadable;
        return false;
    }
    QByteArray content = old.bytes;
    if (content.isEmpty())
        content = header();
    else if (!content.endsWith('\n'))
        content += '\n';
    content += line(entry);
    return AtomicFile::write(path, content, problem);
}

RecordIndex::Found RecordIndex::find(const QString &recordPath, const QByteArray &record)
{
    const QFileInfo info(recordPath);
    const QString indexPath = info.dir().filePath(FileName);
    const InputFile::Result read = InputFile::read(indexPath, MaxBytes);
    Found found;
    switch (read.status) {
    case InputFile::Status::Read:
        found = findIn(read.bytes, info.fileName(), record);
        break;
    case InputFile::Status::Missing:
        break;
    case InputFile::Status::NotAFile:
        found.status = Lookup::NotAFile;
        break;
    case InputFile::Status::TooLarge:
        found.status = Lookup::TooLarge;
        break;
    case InputFile::Status::Unreadable:
        found.status = Lookup::Unreadable;
        break;
    }
    found.indexPath = indexPath;
    return found;
}

RecordIndex::Found RecordIndex::findIn(const QByteArray &index, const QString &name, const QByteArray &record)
{
    Found found;
    const QByteArray hash = digest(record);
    const QList<QByteArray> lines = index.split('\n');
    std::optional<Entry> byContent;
    int malformedLine = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray text = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (text.isEmpty() || text + '\n' == header())
            continue;
        const std::optional<Entry> e = parse(text);
        if (!e) {
            // Only a broken line that names this record matters to it.
            if (text.split('\t').value(0) == name.toUtf8())
                malformedLine = int(i) + 1;
            continue;
        }
        if (e->digest != hash)
            continue;
        if (e->name == name) {
            found.status = Lookup::Found;
            found.entry = *e;
        } else if (found.status != Lookup::Found) {
            byContent = e;
        }
    }
    if (found.status == Lookup::Found)
        return found;
    if (byContent) {
        found.status = Lookup::Found;
        found.entry = *byContent;
        return found;
    }
    found.status = malformedLine ? Lookup::Malformed : Lookup::NoLine;
    found.lineNumber = malformedLine;
    return found;
}
