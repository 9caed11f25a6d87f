// SPDX-License-Identifier: Apache-2.0
// The agent's windows offscreen, following the controller: lock screen, options panel,
// session window, warning window and the connection dialog.

#include "client/core/agentcontroller.h"
#include "client/ui/agentwindows.h"
#include "client/ui/frmsettings.h"
#include "common/clock.h"
#include "common/protocol.h"
#include "support/agentfixture.h"
#include "support/agentprocess.h"
#include "support/scriptedprompt.h"
#include "tests/server/link/linkconsole.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

using namespace Qt::StringLiterals;

template <typename T> T* child(QWidget* w, const char* name)
{
    return w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

namespace {

// The controller and its windows, locked as the agent starts.
struct Agent
{
    explicit Agent(AgentSettings& settings) : c(settings), windows(c) { c.startLocked(); }

    AgentController c;
    AgentWindows windows;
};

// The shown top-level dialog of that name, if any.
QDialog* shown(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) {
            return qobject_cast<QDialog*>(w);
        }
    }
    return nullptr;
}

} // namespace

class TstAgentWindows : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { keepPowerOff(); }
    void init() { openAgentHome(); }
    void cleanup() { closeAgentHome(); }

    // Reconnect in the staff's settings, then Connect in the dialog it opens, with the link to
    // a real console up: the agent dials again once, not in a loop, and the console keeps the
    // workstation under its name with nothing in the error log.
    void reconnectFromTheSettingsDialsOnce_data()
    {
        QTest::addColumn<bool>("settingsCloseUnderIt");
        QTest::newRow("connect") << false;
        // A "|LOCK|" from the console closes the staff's windows while the dialog is open.
        QTest::newRow("settings closed under the dialog") << true;
    }
    void reconnectFromTheSettingsDialsOnce()
    {
        QFETCH(bool, settingsCloseUnderIt);
        LinkConsole console;
        m_settings->storeConnection(u"127.0.0.1"_s, u"PC-04"_s, QString::number(console.port()));
        AgentController c(*m_settings);
        AgentWindows windows(c);
        c.connectStored();
        c.startLocked();
        const QString listedName = u"SELECT name FROM online"_s;
        QTRY_COMPARE(console.value(listedName).toString(), u"PC-04"_s);
        const qint64 before = console.server.lastIndex();

        // The staff's clicks, each from the event loop, on the innermost window shown: every
        // window runs its own modal loop. Past the deadline every window is given up, so a
        // fault fails the checks below instead of leaving a modal loop waiting.
        QPointer<QWidget> settingsWindow;
        bool inFront = false;
        bool connected = false;
        QElapsedTimer deadline;
        deadline.start();
        const auto later = [](QObject* o, auto f) { QTimer::singleShot(0, o, f); };
        QTimer staff;
        staff.setInterval(100);
        connect(&staff, &QTimer::timeout, this, [&] {
            if (deadline.hasExpired(8000)) {
                for (const char* name : {"frmConnection", "frmsettings", "frmpassword"}) {
                    if (QDialog* d = shown(name)) {
                        later(d, [d] { d->reject(); });
                    }
                }
            } else if (QDialog* d = shown("frmConnection")) {
                // In front of the settings window: its transient child.
                inFront = settingsWindow && d->windowHandle() &&
                          d->windowHandle()->transientParent() == settingsWindow->windowHandle();
                if (!settingsCloseUnderIt) {
                    later(d, [d] { child<QPushButton>(d, "cmdConnect")->click(); });
                } else if (!connected && settingsWindow) {
                    later(settingsWindow, [w = settingsWindow] {
                        if (auto* settings = qobject_cast<QDialog*>(w.data())) {
                            settings->reject();
                        }
                    });
                }
                connected = true;
            } else if (QDialog* d = shown("frmsettings")) {
                if (connected) {
                    later(d, [d] { d->accept(); });
                } else if (!settingsWindow) {
                    settingsWindow = d;
                    for (auto* b : d->findChildren<QAbstractButton*>(u"btn"_s)) {
                        if (b->property("index").toInt() == FrmSettings::Reconnect) {
                            later(b, [b] { b->click(); });
                        }
                    }
                }
            } else if (QDialog* d = shown("frmpassword")) {
                d->findChild<QLineEdit*>(u"txtpsw"_s)->setText(u"TOVLE"_s);
                later(d, [d] { d->findChild<QAbstractButton*>(u"btnok"_s)->click(); });
            }
        });
        staff.start();
        windows.lockScreen()->findChild<QAction*>(u"mnusettings"_s)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT((connected || deadline.hasExpired(8000)) &&
                                     !shown("frmpassword") && !shown("frmsettings"),
                                 10000);
        staff.stop();
        QVERIFY(connected);
        if (settingsCloseUnderIt) {
            // Gone with its opener, not given up at the deadline.
            QVERIFY(!deadline.hasExpired(8000));
            QVERIFY(!shown("frmConnection"));
            return;
        }

        QTest::qWait(10000);
        const qint64 dialled = console.server.lastIndex() - before;
        QVERIFY2(dialled >= 1 && dialled <= 3, qPrintable(QString::number(dialled)));
        QVERIFY(inFront);
        QVERIFY(c.state().linkUp);
        QCOMPARE(c.state().caption, AgentSettings::AppTitle);
        QCOMPARE(console.value(listedName).toString(), u"PC-04"_s);
        QCOMPARE(console.home.errorLog(), QString());
        QCOMPARE(m_home->errorLog(), QString());
    }

    void lockScreenAndOptionsPanel()
    {
        m_settings->setSurfupto(u"50"_s);
        m_settings->setAutologoff(true);
        Agent a(*m_settings);
        FrmMain* main = a.windows.lockScreen();
        QVERIFY(main->isVisible());
        auto* caption = child<QLabel>(main, "LBLCAPTION");
        QCOMPARE(caption->text(), u"Vantiro Client 1.2"_s);
        auto* options = child<QGroupBox>(main, "options");
        // The picture carries the lock message; none of it shows around the options panel.
        auto* picture = child<QLabel>(main, "backimage");
        QVERIFY(picture->isVisible());
        // The shipped picture, not the plain panel drawn when the resource is missing.
        QCOMPARE(picture->pixmap().size(), QSize(640, 400));

        a.c.handleArrival(Proto::ShowOptionsWithPassword);
        QVERIFY(options->isVisible());
        QVERIFY(!picture->isVisible());
        auto* password = child<QLineEdit>(main, "txtpassword");
        auto* surf = child<QLineEdit>(main, "txtsurfto");
        QCOMPARE(surf->text(), u"50"_s);
        QVERIFY(child<QCheckBox>(main, "chkautologoff")->isChecked());

        // A password the console did not answer stays for another try; one it refused does not.
        QTest::keyClicks(password, u"wrong1"_s);
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(caption->text(), AgentController::NoAnswerText);
        QCOMPARE(password->text(), u"wrong1"_s);
        a.c.handleArrival(Proto::PasswordNotValid);
        QCOMPARE(caption->text(), u"Invalid Password, Please Re Enter Password"_s);
        QCOMPARE(password->text(), QString());
        QVERIFY(!picture->isVisible());

        a.c.handleArrival(Proto::EndSession);
        QVERIFY(!options->isVisible());
        QVERIFY(picture->isVisible());
    }

    void sessionWindowCountsAndStays()
    {
        const QDateTime now(QDate(2026, 5, 2), QTime(14, 0, 0));
        Clock::setFixed(now);
        Agent a(*m_settings);
        a.c.handleArrival(Proto::setDateTime(now.addSecs(-(3600 + 5 * 60 + 9))) +
                          Proto::StartSession);
        QVERIFY(!a.windows.lockScreen());
        FrmActivate* session = a.windows.sessionWindow();
        QVERIFY(session->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(session->timeText(), u"1:05:09"_s, 3000);
        QCOMPARE(child<QLabel>(session, "Label1")->text(), u"Total Time Spent"_s);

        // Minimized as the session ends: the restore it had queued must not show it again
        // above the lock screen.
        QPointer<FrmActivate> ending = session;
        session->showMinimized();
        a.c.handleArrival(Proto::EndSession);
        QVERIFY(!a.windows.sessionWindow());
        QVERIFY(!a.c.clock().isRunning());
        QCoreApplication::processEvents();
        QVERIFY(!ending || !ending->isVisible());
    }

    void warningWindowDetails()
    {
        const QDateTime now(QDate(2026, 5, 2), QTime(14, 0, 0));
        Clock::setFixed(now);
        Agent a(*m_settings);
        a.c.handleArrival(Proto::setDateTime(now.addSecs(-25 * 60 - 10)) +
                          Proto::autologoutMinutes(30) + Proto::StartSession);
        QTRY_VERIFY_WITH_TIMEOUT(a.windows.warningWindow(), 3000);
        FrmWarning* w = a.windows.warningWindow();
        QCOMPARE(w->windowTitle(), u"Warning"_s);
        QCOMPARE(child<QLabel>(w, "lblrshow")->text(), u"Remaining Approximate Time 5 Min"_s);
        // What happens then, in plain words.
        QCOMPARE(child<QLabel>(w, "lbllockline")->text(),
                 u"This workstation locks when the time is up. Please save your work."_s);
        QVERIFY(child<QLabel>(w, "lbllockline")->isVisible());
        auto* details = child<QPushButton>(w, "cmdlogin");
        QCOMPARE(details->text(), u"Show Details"_s);
        const int shortHeight = w->height();
        details->click();
        QCOMPARE(details->text(), u"Hide Details"_s);
        QVERIFY(w->height() > shortHeight);
        // The fields follow the limit rules (tst_sessionclock): typed, the new limit is kept.
        auto* surf = child<QLineEdit>(w, "txtsurfto");
        QCOMPARE(surf->text(), u"30"_s);
        surf->clear();
        QTest::keyClicks(surf, u"45"_s);
        QCOMPARE(m_settings->surfuptoText(), u"45"_s);
        details->click();
        QCOMPARE(w->height(), shortHeight);

        // Closing it is never refused; a session start takes it away too.
        w->close();
        QTRY_VERIFY(!a.windows.warningWindow());
        QVERIFY(a.windows.sessionWindow());
    }

    void serviceKeysNeedThePassword_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("freed");
        QTest::addColumn<bool>("ended");
        QTest::newRow("free, wrong") << FrmMain::UnlockKey << u"tovle"_s << false << false;
        QTest::newRow("free, right") << FrmMain::UnlockKey << u"TOVLE"_s << true << false;
        QTest::newRow("end, right") << FrmMain::ExitKey << u"TOVLE"_s << false << true;
    }
    void serviceKeysNeedThePassword()
    {
        QFETCH(int, key);
        QFETCH(QString, password);
        QFETCH(bool, freed);
        QFETCH(bool, ended);
        ScriptedPrompt prompt;
        Agent a(*m_settings);
        QSignalSpy exit(&a.windows, &AgentWindows::exitRequested);
        // The key asks for the settings password; a wrong one is told off, then the window is
        // given up.
        bool asked = false;
        QTimer answer;
        answer.setInterval(50);
        connect(&answer, &QTimer::timeout, this, [&] {
            QWidget* w = QApplication::activeModalWidget();
            if (asked || !w || w->objectName() != u"frmpassword"_s) {
                return;
            }
            asked = true;
            w->findChild<QLineEdit*>(u"txtpsw"_s)->setText(password);
            w->findChild<QAbstractButton*>(u"btnok"_s)->click();
            if (w->isVisible()) {
                static_cast<QDialog*>(w)->reject();
            }
        });
        answer.start();
        QTest::keyClick(a.windows.lockScreen(), Qt::Key(key));
        QTRY_VERIFY(asked);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(prompt.texts().contains(u"Invalid Password"_s), !freed && !ended);
        QCOMPARE(a.c.state().keysLocked, !freed);
        QCOMPARE(a.windows.lockScreen()->isVisible(), !freed);
        QVERIFY(!a.c.state().sessionWindowLoaded);
        QCOMPARE(exit.count(), ended ? 1 : 0);
    }

    void settingsGoWithTheLockScreen()
    {
        Agent a(*m_settings);
        QPointer<FrmMain> first = a.windows.lockScreen();
        auto* restart = first->findChild<QAction*>(u"mnurestart"_s);
        QVERIFY(!restart->isEnabled());
        bool seen = false;
        QTimer::singleShot(300, this, [&] {
            seen = shown("frmpassword") != nullptr;
            // The console locks while the staff are in the settings.
            a.c.handleArrival(Proto::Lock);
        });
        first->findChild<QAction*>(u"mnusettings"_s)->trigger();
        QTRY_VERIFY(seen);
        QTRY_VERIFY(!first);
        QVERIFY(a.windows.lockScreen());
        QVERIFY(a.windows.lockScreen()->isVisible());
        QVERIFY(!shown("frmpassword"));
    }

    void connectionDialogAtFirstStartAndForReconnect()
    {
        AgentTestConsole console;
        QVERIFY(console.listen());
        AgentController c(*m_settings);
        AgentWindows windows(c);
        QVERIFY(c.needsConnectionDialog());
        FrmConnection* d = windows.connectionDialog();
        QCOMPARE(d->windowTitle(), u"Connection Properties "_s);
        auto* address = child<QLineEdit>(d, "txtRemotecmp");
        auto* cancel = child<QPushButton>(d, "cmdcancel");
        QString seen;
        QTimer::singleShot(200, this, [&] {
            QTest::keyClicks(address, u"19x2.16a8.1.300"_s);
            child<QPushButton>(d, "cmdConnect")->click();
            seen = address->text() + u'|' + child<QLineEdit>(d, "txtport")->text() + u'|' +
                   cancel->text() + u'|' + child<QLabel>(d, "lblstatus")->text();
            address->setText(u"127.0.0.1"_s);
            child<QLineEdit>(d, "txtcname")->setText(u"PC-09"_s);
            child<QLineEdit>(d, "txtport")->setText(QString::number(console.port()));
            child<QPushButton>(d, "cmdConnect")->click();
        });
        QVERIFY(windows.runConnectionDialog());
        QCOMPARE(seen, u"192.168.1.300|2701|E&xit|Invalid IP Address"_s);
        QVERIFY(!d->isVisible());
        QCOMPARE(m_settings->server(), u"127.0.0.1"_s);
        QCOMPARE(m_settings->cname(), u"PC-09"_s);
        QCOMPARE(m_settings->portText(), QString::number(console.port()));
        QVERIFY(!c.needsConnectionDialog());

        // For a reconnect the button only hides the dialog.
        c.showDialogForReconnect();
        QVERIFY(d->isVisible());
        QCOMPARE(cancel->text(), u"&Hide"_s);
        cancel->click();
        QVERIFY(!d->isVisible());

        // At the first start Escape never ends the agent; only Exit does.
        AgentController other(*m_settings);
        AgentWindows otherWindows(other);
        QSignalSpy exit(&otherWindows, &AgentWindows::exitRequested);
        QTest::keyClick(otherWindows.connectionDialog(), Qt::Key_Escape);
        QCOMPARE(exit.count(), 0);
        QTimer::singleShot(200, this, [&] {
            child<QPushButton>(otherWindows.connectionDialog(), "cmdcancel")->click();
        });
        QVERIFY(!otherWindows.runConnectionDialog());
    }
};

QTEST_MAIN(TstAgentWindows)
#include "tst_agentwindows.moc"
