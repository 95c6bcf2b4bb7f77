#include "MainWindow.h"
#include "Startup.h"
#include "link/QtSerialService.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The trace is repainted in small strips many times a second. Through
    // shared memory every strip costs an extra round trip to the X server and
    // a wake-up of two threads; sent plainly it costs one write. Measured: half
    // the CPU while streaming. An explicit setting by the user wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pulse-demo"));
    configureApplication(app);

    MainWindow window(std::make_unique<QtSerialService>());
    window.show();
    return app.exec();
}
