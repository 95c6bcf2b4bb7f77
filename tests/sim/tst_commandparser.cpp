// The sensor's side of the command protocol, byte by byte.
#include "CommandParser.h"

#include <QTest>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Kind = CommandParser::Kind;
using Command = CommandParser::Command;

std::vector<Command> feed(CommandParser &parser, const std::vector<int> &bytes)
{
    std::vector<Command> out;
    for (int byte : bytes) {
        if (const auto command = parser.feed(static_cast<std::uint8_t>(byte)))
            out.push_back(*command);
    }
    return out;
}

std::vector<Kind> kinds(const std::vector<Command> &commands)
{
    std::vector<Kind> out;
    for (const Command &c : commands)
        out.push_back(c.kind);
    return out;
}

} // namespace

class CommandParserTest : public QObject
{
    Q_OBJECT
private slots:
    void serialNumberReply()
    {
        CommandParser parser;
        const auto commands = feed(parser, {0x20, 0x31});
        QCOMPARE(kinds(commands), std::vector<Kind> {Kind::SerialNumber});
        const auto reply = CommandParser::serialReply({1, 3, 5, 7});
        const CommandParser::SerialReply expected = {0xAA, 0x55, 1, 3, 5, 7};
        QCOMPARE(reply, expected);
    }

    void startAndStop()
    {
        CommandParser parser;
        QVERIFY(!parser.settings().streaming);
        QCOMPARE(kinds(feed(parser, {0x20, 0x32})), std::vector<Kind> {Kind::Start});
        QVERIFY(parser.settings().streaming);
        QCOMPARE(kinds(feed(parser, {0x20, 0x33})), std::vector<Kind> {Kind::Stop});
        QVERIFY(!parser.settings().streaming);
    }

    void parametersInRange()
    {
        CommandParser parser;
        for (int p = 0; p <= 9; ++p) {
            const auto c = feed(parser, {0x20, 0x34, p});
            QCOMPARE(c.size(), std::size_t(1));
            QCOMPARE(c[0].kind, Kind::Gain);
            QCOMPARE(parser.settings().gain, p + 1);
        }
        for (int p = 0; p <= 5; ++p) {
            feed(parser, {0x20, 0x35, p});
            QCOMPARE(parser.settings().baseline, p);
        }
        const int rates[] = {200, 300, 400, 500, 1000};
        for (int p = 0; p <= 4; ++p) {
            const auto c = feed(parser, {0x20, 0x37, p});
            QCOMPARE(c[0].kind, Kind::Rate);
            QCOMPARE(c[0].value, rates[p]);
            QCOMPARE(parser.settings().rateHz, rates[p]);
        }
    }

    void parametersOutOfRangeAreIgnored()
    {
        // Gain 10, gain as ASCII '3', baseline 6, rate 5 and 255.
        const std::pair<int, int> outOfRange[] = {{0x34, 10}, {0x34, 0x33}, {0x35, 6}, {0x37, 5}, {0x37, 255}};
        for (const auto &[command, parameter] : outOfRange) {
            CommandParser parser;
            feed(parser, {0x20, 0x34, 2, 0x20, 0x35, 3, 0x20, 0x37, 1});
            const SensorSettings before = parser.settings();
            const auto c = feed(parser, {0x20, command, parameter});
            QCOMPARE(kinds(c), std::vector<Kind> {Kind::BadParameter});
            QCOMPARE(c[0].value, parameter);
            QCOMPARE(std::tuple(parser.settings().gain, parser.settings().baseline, parser.settings().rateHz),
                     std::tuple(before.gain, before.baseline, before.rateHz));
            // The next command is understood as usual.
            QCOMPARE(kinds(feed(parser, {0x20, 0x32})), std::vector<Kind> {Kind::Start});
        }
    }

    void parameterInALaterRead()
    {
        CommandParser parser;
        QVERIFY(feed(parser, {0x20, 0x37}).empty());
        QCOMPARE(parser.settings().rateHz, 200);
        QCOMPARE(kinds(feed(parser, {4})), std::vector<Kind> {Kind::Rate});
        QCOMPARE(parser.settings().rateHz, 1000);
        QVERIFY(feed(parser, {0x20}).empty());
        QVERIFY(feed(parser, {0x34}).empty());
        feed(parser, {9});
        QCOMPARE(parser.settings().gain, 10);
    }

    void theProgramsSequences()
    {
        CommandParser parser;
        // Port selection: gain 1x, baseline 0, 200 Hz, the parameter in the same write.
        const auto init = feed(parser, {0x20, 0x34, 0x00, 0x20, 0x35, 0x00, 0x20, 0x37, 0x00});
        QCOMPARE(kinds(init), (std::vector<Kind> {Kind::Gain, Kind::Baseline, Kind::Rate}));
        QCOMPARE(parser.settings().gain, 1);
        QCOMPARE(parser.settings().baseline, 0);
        QCOMPARE(parser.settings().rateHz, 200);
        // A parameter change: stop, command, parameter, restart.
        const auto change = feed(parser, {0x20, 0x33, 0x20, 0x34, 0x09, 0x20, 0x32});
        QCOMPARE(kinds(change), (std::vector<Kind> {Kind::Stop, Kind::Gain, Kind::Start}));
        QCOMPARE(parser.settings().gain, 10);
        QVERIFY(parser.settings().streaming);
    }

    void strayBytesAreIgnored()
    {
        CommandParser parser;
        QCOMPARE(kinds(feed(parser, {'A'})), std::vector<Kind> {Kind::Ignored});
        QCOMPARE(kinds(feed(parser, {0x20, '9'})), std::vector<Kind> {Kind::Ignored});
        QCOMPARE(kinds(feed(parser, {0x20, '6', 3})), (std::vector<Kind> {Kind::Ignored, Kind::Ignored}));
        QCOMPARE(kinds(feed(parser, {0x31})), std::vector<Kind> {Kind::Ignored}); // a digit without its space
        // A doubled space: the second one starts the command.
        QCOMPARE(kinds(feed(parser, {0x20, 0x20, 0x31})), (std::vector<Kind> {Kind::Ignored, Kind::SerialNumber}));
        QCOMPARE(parser.settings().gain, 4); // power-on settings untouched
        QVERIFY(!parser.settings().streaming);
    }

    void lostParameterDoesNotSwallowTheNextCommand()
    {
        CommandParser parser;
        const auto c = feed(parser, {0x20, 0x34, 0x20, 0x32});
        QCOMPARE(kinds(c), (std::vector<Kind> {Kind::BadParameter, Kind::Start}));
        QCOMPARE(parser.settings().gain, 4);
        QVERIFY(parser.settings().streaming);
    }

    void fuzz()
    {
        // Whatever came before, settings stay in range and " 1" is understood.
        std::mt19937 random(20240607);
        std::uniform_int_distribution<int> anyByte(0, 255);
        std::uniform_int_distribution<int> length(0, 12);
        std::uniform_int_distribution<int> protocolish(0, 3);
        CommandParser parser;
        for (int round = 0; round < 20000; ++round) {
            std::vector<int> garbage(static_cast<std::size_t>(length(random)));
            for (int &byte : garbage) {
                // Lean towards the protocol's own bytes, where the states are.
                const int pick = protocolish(random);
                byte = pick == 0 ? 0x20 : pick == 1 ? '0' + anyByte(random) % 10 : anyByte(random);
            }
            feed(parser, garbage);
            const SensorSettings &s = parser.settings();
            QVERIFY(s.gain >= 1 && s.gain <= 10);
            QVERIFY(s.baseline >= 0 && s.baseline <= 5);
            QVERIFY(std::find(CommandParser::RatesHz.begin(), CommandParser::RatesHz.end(), s.rateHz) !=
                    CommandParser::RatesHz.end());
            const auto c = feed(parser, {0x20, 0x31});
            QVERIFY(!c.empty());
            QCOMPARE(c.back().kind, Kind::SerialNumber);
        }
        // A long run of garbage, then a command.
        std::vector<int> longGarbage(100000);
        for (int &byte : longGarbage)
            byte = anyByte(random);
        feed(parser, longGarbage);
        QCOMPARE(kinds(feed(parser, {0x20, 0x33})).back(), Kind::Stop);
        QVERIFY(!parser.settings().streaming);
    }
};

QTEST_APPLESS_MAIN(CommandParserTest)
#include "tst_commandparser.moc"
