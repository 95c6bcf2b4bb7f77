#include "SerialNumber.h"

namespace SerialNumber {

QString digitsText(const QByteArray &reply)
{
    QString text;
    for (qsizetype i = SkippedBytes; i < reply.size() && i < ReplyLength; ++i) {
        const int code = static_cast<unsigned char>(reply.at(i)) + '0';
        text += code <= 255 ? QChar(code) : QChar(u'?');
    }
    return text;
}

} // namespace SerialNumber
