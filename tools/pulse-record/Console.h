#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// The tool's two outputs: results on stdout, one-line messages on stderr,
// each message prefixed with the program's name so that it reads well in a
// script's log. stdout is flushed first so that the two stay in order.
// A result that cannot be written (a full disk, a closed pipe) is a failure:
// the writes say so, and finish() tells at the end.
namespace Console {

inline bool raw(const QByteArray &bytes)
{
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
}

inline bool out(const QString &line)
{
    return raw(line.toUtf8() + '\n');
}

// Flushes stdout; false when anything written there did not arrive.
inline bool finish()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

inline void message(const QString &line)
{
    std::fflush(stdout);
    std::fputs(("pulse-record: " + line + u'\n').toUtf8().constData(), stderr);
}

} // namespace Console
