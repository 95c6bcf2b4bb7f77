// pulse-record: looks at record files from the command line.

#include "CommandLine.h"
#include "Console.h"
#include "Dispatch.h"
#include "Output.h"
#include "RecordTexts.h"

#include <QGuiApplication>
#include <csignal>
#include <exception>
#include <memory>
#include <new>

namespace {

// Qt's own diagnostics (font or platform notices) would break the promise of
// one line per problem on stderr; the tool reports everything it must itself.
void quietQt(QtMsgType, const QMessageLogContext &, const QString &)
{ }

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietQt);
#ifdef SIGPIPE
    // A closed pipe on stdout is a failed write to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    int exitCode = Output::BadInput;
    try {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        const CommandLine::Result parsed = CommandLine::parse(arguments);
        if (!parsed.invocation) {
            Console::message(parsed.error);
            return Output::Usage;
        }

        // Text in the picture needs fonts, and fonts need a GUI application.
        // The picture is never shown, so no display is wanted: always offscreen,
        // whatever platform the environment names. Qt sees no operator arguments.
        std::unique_ptr<QGuiApplication> app;
        int qtArgc = 1;
        if (parsed.invocation->command == Invocation::Command::Png) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QGuiApplication>(qtArgc, argv);
        }
        exitCode = Dispatch::run(*parsed.invocation);
    } catch (const std::bad_alloc &) {
        Console::message(RecordTexts::OutOfMemory);
    } catch (const std::exception &e) {
        Console::message(QString::fromLocal8Bit(e.what()));
    }
    if (!Console::finish()) {
        Console::message(RecordTexts::StdoutFailed);
        return Output::BadInput;
    }
    return exitCode;
}
