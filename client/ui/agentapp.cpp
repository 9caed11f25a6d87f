// SPDX-License-Identifier: Apache-2.0
#include "client/ui/agentapp.h"

#include "client/core/agentcontroller.h"
#include "client/ui/agentwindows.h"
#include "common/errorlog.h"
#include "common/prompt.h"
#include "common/ui/messageboxprompt.h"
#include "platform/filemodes.h"
#include "platform/singleinstance.h"
#include "platform/termination.h"
#include "platform/ui/inputlock.h"
#include "platform/ui/urlopener.h"

#include <QApplication>

int runAgent(int argc, char** argv)
{
    // The settings (link key, staff password) and the error log are the agent's account's alone.
    FileModes::ownerOnlyNewFiles();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("client"));
    app.setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.tryAcquire(QStringLiteral("client"))) {
        return 0; // a second start ends silently
    }

    // Started again after being ended (or at login): the keys are ours before anything slower
    // runs, so a program waiting for the moment finds them taken.
    auto* inputLock = new InputLock;
    inputLock->lockBeforeWindow();

    MessageBoxPrompt prompt(true);
    Prompt::install(&prompt);
    Prompt::setDefaultTitle(AgentSettings::AppTitle);

    AgentSettings settings;
    settings.createKeys();
    AgentController controller(settings);
    if (controller.needsConnectionDialog()) {
        // A first start: the staff fill in the connection dialog before anything is locked.
        inputLock->unlock();
    }
    AgentWindows windows(controller, inputLock);
    // exit(), not quit(): quit() would ask each window first, and the session window only
    // minimizes when asked to close.
    QObject::connect(&windows, &AgentWindows::exitRequested, &app, [] { QApplication::exit(0); });
    QObject::connect(&controller, &AgentController::openWebAddress, &app, [](const QString& url) {
        // Under a system account of its own, a browser the agent started would run as that
        // account, in front of the customer, able to open the agent's settings. The service
        // says so in its environment.
        if (qEnvironmentVariable("VANTIROKIT_OPEN_WEB") == QLatin1String("0")) {
            return;
        }
        if (!UrlOpener::openUrl(url)) {
            ErrorLog::write(QStringLiteral("OpenWebAddress"), QStringLiteral("Cannot open ") + url);
        }
    });
    TerminationWatcher termination;
    // A request to end that arrives while the connection dialog runs ends the dialog's loop
    // only; it must not be forgotten before the main loop starts.
    bool terminating = false;
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, [&terminating] {
        terminating = true;
        QApplication::exit(0);
    });

    if (controller.needsConnectionDialog()) {
        if (!windows.runConnectionDialog() || terminating) {
            Prompt::install(nullptr);
            return 0;
        }
    } else {
        controller.connectStored();
    }
    controller.startLocked();

    const int status = app.exec();
    Prompt::install(nullptr);
    return status;
}
