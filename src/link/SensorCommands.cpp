#include "SensorCommands.h"

namespace SensorCommands {

QByteArray parameter(int value)
{
    return QByteArray(1, static_cast<char>(static_cast<unsigned char>(value)));
}

std::array<QByteArray, 3> portInitialisation()
{
    return {SetGain + parameter(0), SetBaseline + parameter(0), SetRate + parameter(0)};
}

} // namespace SensorCommands
