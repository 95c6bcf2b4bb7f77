#pragma once

#include <QByteArray>
#include <array>

// The sensor's command set: a space and a digit, some followed by one
// parameter byte sent as a separate write.
namespace SensorCommands {

inline const QByteArray SerialNumber = QByteArrayLiteral(" 1");
inline const QByteArray StartStream = QByteArrayLiteral(" 2");
inline const QByteArray StopStream = QByteArrayLiteral(" 3");
inline const QByteArray SetGain = QByteArrayLiteral(" 4");
inline const QByteArray SetBaseline = QByteArrayLiteral(" 5");
inline const QByteArray SetRate = QByteArrayLiteral(" 7");

inline constexpr int BaselineLevels = 6; // 0..5
inline constexpr int GainSteps = 10;     // 1x..10x
inline constexpr std::array<int, 5> RatesHz = {200, 300, 400, 500, 1000};

// What port initialisation sets the sensor to, as at power-up: gain 1x
// (option 0), baseline 0, 200 Hz (option 0).
inline constexpr int PowerUpGainOption = 0;
inline constexpr int PowerUpBaseline = 0;
inline constexpr int PowerUpRateOption = 0;
inline constexpr int PowerUpRateHz = RatesHz[PowerUpRateOption];

// A parameter as the one byte that follows its command.
QByteArray parameter(int value);

// The three commands of port initialisation (the power-up settings), each
// command with its parameter in one write.
std::array<QByteArray, 3> portInitialisation();
// The same three with other values: gain option (gain - 1), baseline level,
// rate option (index into RatesHz).
std::array<QByteArray, 3> initialisation(int gainOption, int baselineLevel, int rateOption);

} // namespace SensorCommands
