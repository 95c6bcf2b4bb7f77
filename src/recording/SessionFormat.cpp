#include "SessionFormat.h"

#include "acquire/WallClock.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::array<std::pair<SessionFormat::Kind, const char *>, 12> Keywords {{
    {SessionFormat::Kind::Header, SessionFormat::Magic},
    {SessionFormat::Kind::Start, "start"},
    {SessionFormat::Kind::Stop, "stop"},
    {SessionFormat::Kind::Rate, "rate"},
    {SessionFormat::Kind::Gain, "gain"},
    {SessionFormat::Kind::Baseline, "baseline"},
    {SessionFormat::Kind::Marker, "marker"},
    {SessionFormat::Kind::Lost, "lost"},
    {SessionFormat::Kind::Back, "back"},
    {SessionFormat::Kind::Serial, "serial"},
    {SessionFormat::Kind::Time, "time"},
    {SessionFormat::Kind::Gap, "gap"},
}};
// One keyword for every kind: a new kind goes last in the enum, and here.
static_assert(Keywords.size() == std::size_t(SessionFormat::Kind::Gap) + 1);

} // namespace

SessionFormat::Stream SessionFormat::Stream::after(Kind kind) const
{
    Stream s = *this;
    switch (kind) {
    case Kind::Start:
        s.streaming = true;
        break;
    case Kind::Rate:
    case Kind::Gain:
    case Kind::Baseline:
        s.streaming = streaming || !lost;
        break;
    case Kind::Stop:
        s.streaming = false;
        break;
    case Kind::Lost:
        s.lost = true;
        break;
    case Kind::Back:
        s.lost = false;
        break;
    default:
        break;
    }
    return s;
}

QByteArray SessionFormat::keyword(Kind kind)
{
    for (const auto &[k, word] : Keywords) {
        if (k == kind)
            return word;
    }
    return {};
}

QByteArray SessionFormat::line(const Event &event)
{
    QByteArray out = QByteArray::number(event.sample);
    out += '\t';
    out += WallClock::text(event.time).toUtf8();
    out += '\t';
    out += keyword(event.kind);
    for (const QString &value : event.values) {
        out += '\t';
        out += value.toUtf8();
    }
    out += '\n';
    return out;
}

std::optional<SessionFormat::Event> SessionFormat::parse(QByteArrayView text)
{
    const QList<QByteArray> fields = QByteArray(text.data(), text.size()).split('\t');
    if (fields.size() < 3)
        return std::nullopt;
    Event event;
    bool ok = false;
    event.sample = fields[0].toLongLong(&ok);
    if (!ok || event.sample < 0)
        return std::nullopt;
    event.time = QDateTime::fromString(QString::fromUtf8(fields[1]), Qt::ISODateWithMs);
    if (!event.time.isValid())
        return std::nullopt;
    bool known = false;
    for (const auto &[k, word] : Keywords) {
        if (fields[2] == word) {
            event.kind = k;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;
    for (qsizetype i = 3; i < fields.size(); ++i)
        event.values.append(QString::fromUtf8(fields[i]));
    return event;
}

QString SessionFormat::stem(const QDateTime &start, int attempt)
{
    QString s = start.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (attempt > 1)
        s += QLatin1Char('-') + QString::number(attempt);
    return s;
}
