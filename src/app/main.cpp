#include "MainWindow.h"
#include "Startup.h"

#ifdef Q_OS_WIN
#include "link/QtSerialService.h"
using SerialLine = QtSerialService;
#else
#include "link/PosixSerialLine.h"
using SerialLine = PosixSerialLine;
#endif

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareEnvironment();
    QApplication app(argc, argv);
    configureApplication(app);

    MainWindow window(std::make_unique<SerialLine>());
    window.show();
    return app.exec();
}
