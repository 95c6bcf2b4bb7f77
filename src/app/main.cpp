#include "MainWindow.h"
#include "Startup.h"
#include "link/QtSerialService.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pulse-demo"));
    configureApplication(app);

    MainWindow window(std::make_unique<QtSerialService>());
    window.show();
    return app.exec();
}
