#include "RecordCsv.h"

QByteArray RecordCsv::format(std::span<const std::uint8_t> samples, std::optional<double> rateHz)
{
    QByteArray out = rateHz ? "index,time_s,value\n" : "index,value\n";
    out.reserve(out.size() + qsizetype(samples.size()) * 20);
    for (size_t i = 0; i < samples.size(); ++i) {
        out += QByteArray::number(qulonglong(i));
        out += ',';
        if (rateHz) {
            out += QByteArray::number(double(i) / *rateHz, 'f', TimeDecimals);
            out += ',';
        }
        out += QByteArray::number(samples[i]);
        out += '\n';
    }
    return out;
}
