// SPDX-License-Identifier: Apache-2.0
#include "server/app/consoleapp.h"

#include "common/linkauth.h"
#include "common/prompt.h"
#include "common/ui/messageboxprompt.h"
#include "platform/filemodes.h"
#include "platform/singleinstance.h"
#include "platform/termination.h"
#include "server/app/console.h"
#include "server/core/consolecore.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

int ConsoleApp::run(int argc, char** argv)
{
    // A fresh link key for the cafe, printed once to be copied into the console's and every
    // workstation's settings; nothing is started or stored.
    if (argc == 2 && std::strcmp(argv[1], "--generate-link-key") == 0) {
        std::printf("%s\n", LinkAuth::generateKey().constData());
        return 0;
    }
    // The database holds the operators' and members' passwords: owner-only from its creation.
    FileModes::ownerOnlyNewFiles();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vkserver"));
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
