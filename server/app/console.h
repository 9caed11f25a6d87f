// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <memory>

class ConsoleCore;
class Database;
class FrmMain;
class LiveSessionView;
class MessageLog;
class OwnerWeb;
class SystemTray;
class QWidget;

// The whole console in one object: database, start-up, console window, tray, the link to the
// agents, and the windows of every layer wired to the console window's commands.
class Console : public QObject
{
    Q_OBJECT
public:
    explicit Console(QObject* parent = nullptr);
    ~Console() override;

    // Runs the start-up sequence and shows the console window unless it starts in the tray.
    void start();
    // The orderly shut-down; the program ends afterwards.
    void shutDown();

    Database& database();
    MessageLog& messageLog();
    ConsoleCore& core();
    FrmMain& window();
    // The live figures of the session list (after start()).
    LiveSessionView& liveSessions();
    SystemTray& tray();
    // The first-run setup while it is open (nullptr otherwise).
    QWidget* firstRunWindow() const;
    // The owner's page (after start()).
    OwnerWeb* ownerWeb() const;
    // Starts or stops the owner's page as the options say now.
    void applyOwnerWeb();
    // The port the console listens on (0 when it does not).
    quint16 listeningPort() const;

    // Shows the console window and disables the tray menu.
    void showControlPanel();
    void sendToTray();

Q_SIGNALS:
    void finished();

private:
    void wireCommands();
    // Opens the setup of a new cafe when the database is new and it was never done.
    void offerFirstRun();
    void reportShownAndQuit();
    template <typename Dialog> void openModal();
    template <typename Dialog> void openWithDatabase();
    // End Session and Transfer open on the session selected in the console's list.
    template <typename Dialog> void openOnSelectedSession();
    // Shows a guard's refusal; true when there was one.
    static bool refused(const QString& message, bool critical);

    struct Private;
    std::unique_ptr<Private> d;
};
