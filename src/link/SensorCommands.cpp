#include "SensorCommands.h"

namespace SensorCommands {

QByteArray parameter(int value)
{
    return QByteArray(1, static_cast<char>(static_cast<unsigned char>(value)));
}

std::array<QByteArray, 3> initialisation(int gainOption, int baselineLevel, int rateOption)
{
    return {SetGain + parameter(gainOption), SetBaseline + parameter(baselineLevel), SetRate + parameter(rateOption)};
}

std::array<QByteArray, 3> portInitialisation()
{
    return initialisation(PowerUpGainOption, PowerUpBaseline, PowerUpRateOption);
}

} // namespace SensorCommands
