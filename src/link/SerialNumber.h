#pragma once

#include <QByteArray>
#include <QString>

// The sensor's reply to the serial-number command: six bytes, the first two
// ignored, then four digit values shown as characters d + 48.
namespace SerialNumber {

inline constexpr int ReplyLength = 6;
inline constexpr int SkippedBytes = 2;

// The characters a reply appends to the box. Digit values whose character
// code would pass 255 cannot be shown as one byte-sized character: "?".
QString digitsText(const QByteArray &reply);

} // namespace SerialNumber
