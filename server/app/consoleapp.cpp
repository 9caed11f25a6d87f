#include "server/app/consoleapp.h"

#include "common/prompt.h"
#include "common/ui/messageboxprompt.h"
#include "platform/filemodes.h"
#include "platform/singleinstance.h"
#include "platform/termination.h"
#include "server/app/console.h"
#include "server/core/consolecore.h"

#include <QApplication>
#include <QTimer>

int ConsoleApp::run(int argc, char** argv)
{
    // The database holds the operators' and members' passwords: owner-only from its creation.
    FileModes::ownerOnlyNewFiles();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vkserver"));
    QApplication::setApplicationVersion(QStringLiteral("1.2.0"));
    QApplication::setQuitOnLastWindowClosed(false);

    Prompt::setDefaultTitle(ConsoleCore::AppTitle);
    MessageBoxPrompt prompt;
    Prompt::install(&prompt);

    // One console per settings folder: a second start brings the running console forward.
    SingleInstance instance;
    if (!instance.tryAcquire(QStringLiteral("vkserver"))) {
        instance.notifyRunning();
        return 0;
    }

    Console console;
    QObject::connect(&instance, &SingleInstance::activationRequested, &console,
                     &Console::showControlPanel);
    QObject::connect(&console, &Console::finished, &app, [] { QApplication::quit(); });
    TerminationWatcher termination;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &console,
                     &Console::shutDown);
    // The desktop session ending closes the console in order too.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &console, &Console::shutDown);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &console, &Console::shutDown);

    console.start();
    const int rc = app.exec();
    Prompt::install(nullptr);
    return rc;
}
