#include "RecordCsv.h"

QByteArray RecordCsv::format(const RecordSeries &series, std::span<const std::uint8_t> bytes,
                             std::optional<double> rateHz)
{
    QByteArray out = rateHz ? "offset,time_s,value,note\n" : "offset,value,note\n";
    out.reserve(out.size() + qsizetype(bytes.size()) * 24);
    const auto row = [&](int offset, std::optional<double> time, const char *note) {
        if (offset != RecordSeries::Missing)
            out += QByteArray::number(offset);
        out += ',';
        if (rateHz) {
            if (time)
                out += QByteArray::number(*time, 'f', TimeDecimals);
            out += ',';
        }
        if (offset != RecordSeries::Missing)
            out += QByteArray::number(bytes[size_t(offset)]);
        out += ',';
        out += note;
        out += '\n';
    };
    for (size_t i = 0; i < series.values.size(); ++i) {
        const int offset = series.offsets[i];
        row(offset, rateHz ? std::optional<double>(double(i) / *rateHz) : std::nullopt,
            offset == RecordSeries::Missing ? "missing" : "");
    }
    for (int offset : series.leftOut)
        row(offset, std::nullopt, RecordSeries::isPadding(offset) ? "padding" : "stale");
    return out;
}
