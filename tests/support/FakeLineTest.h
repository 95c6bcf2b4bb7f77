#pragma once

#include "FakeSerialService.h"
#include "WorkingFolder.h"
#include "session/SensorSession.h"

#include <QTest>
#include <optional>

// What the session's and the window's tests share: the fake line that the
// session under test owns, a fresh working folder for each test, and the
// helpers that open the line and feed it.
class FakeLineTest : public QObject
{
protected:
    FakeSerialService *fake = nullptr; // owned by the session
    std::optional<WorkingFolder> folder;

    virtual SensorSession &session() = 0;

    // Picks COM<number> and forgets what opening it wrote.
    void openPort(int number = 1)
    {
        session().selectPort(number - 1);
        QVERIFY(fake->isOpen());
        fake->takeLog();
    }
    // Bytes from the sensor: readyRead, and the session takes them at once.
    void feed(const QByteArray &bytes) { fake->feed(bytes); }
};
