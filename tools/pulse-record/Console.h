#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// The tool's two outputs: results on stdout, one-line messages on stderr,
// each message prefixed with the program's name so that it reads well in a
// script's log. stdout is flushed first so that the two stay in order.
namespace Console {

inline void out(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

inline void raw(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

inline void message(const QString &line)
{
    std::fflush(stdout);
    std::fputs(("pulse-record: " + line + u'\n').toUtf8().constData(), stderr);
}

} // namespace Console
