#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>

// Reads a record file: 1146 raw samples from its first byte. A longer file
// keeps an older, longer record's tail behind the new one, so only the first
// 1146 bytes are the record; a shorter one holds what there is.
class RecordFile
{
public:
    enum class Problem { None, Missing, Folder, NotAFile, Unreadable, Empty };

    struct Loaded
    {
        Problem problem = Problem::None;
        QString message;    // one line, Simplified Chinese, when problem != None
        QByteArray samples; // at most a record's worth
        qint64 fileSize = 0;

        bool ok() const { return problem == Problem::None; }
        bool sizeIsRight() const;
        // Why the size is wrong and what is used instead; empty when it is right.
        QString sizeWarning(const QString &path) const;
        std::span<const std::uint8_t> view() const
        {
            return {reinterpret_cast<const std::uint8_t *>(samples.constData()), size_t(samples.size())};
        }
    };

    static Loaded load(const QString &path);
};
