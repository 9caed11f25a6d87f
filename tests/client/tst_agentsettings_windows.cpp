// SPDX-License-Identifier: Apache-2.0
#include "client/controls/xpcmdbutton.h"
#include "client/core/agentsettings.h"
#include "client/core/staffsettings.h"
#include "client/core/staffthrottle.h"
#include "client/ui/frmpassword.h"
#include "client/ui/frmpicture.h"
#include "client/ui/frmsettings.h"
#include "common/clock.h"
#include "support/agentfixture.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

template <typename T> T* child(QWidget* w, const QString& name, int index = -1)
{
    for (T* c : w->findChildren<T*>(name)) {
        if (index < 0 || c->property("index").toInt() == index)
            return c;
    }
    return nullptr;
}

// Runs the step once the next modal window is up (its exec() is running).
void whenModal(std::function<void(QWidget*)> step)
{
    QTimer::singleShot(0, qApp, [step] {
        QWidget* modal = QApplication::activeModalWidget();
        QTRY_VERIFY(modal = QApplication::activeModalWidget());
        step(modal);
    });
}

void type(QLineEdit* e, const QString& text)
{
    e->clear();
    QTest::keyClicks(e, text);
}

void click(QWidget* w, const QString& name, int index = -1)
{
    auto* b = child<QAbstractButton>(w, name, index);
    QVERIFY2(b, qPrintable(name));
    QVERIFY2(b->isEnabled(), qPrintable(name + QStringLiteral(" is disabled")));
    b->click();
}

} // namespace

class TstAgentSettingsWindows : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openAgentHome();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }

    void cleanup()
    {
        FrmPicture::setFileChooser({});
        m_prompt.reset();
        closeAgentHome();
    }

    void builtInPasswordUntilChanged_data()
    {
        QTest::addColumn<QString>("stored"); // null: none stored
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("opens");
        dataRow("built-in", QString(), QStringLiteral("TOVLE"), true);
        dataRow("built-in, other case", QString(), QStringLiteral("tovle"), false);
        dataRow("built-in, trailing blank", QString(), QStringLiteral("TOVLE "), false);
        dataRow("empty, none stored", QString(), QString(), false);
        dataRow("changed: new one", QStringLiteral("Kafe9"), QStringLiteral("Kafe9"), true);
        dataRow("changed: built-in refused", QStringLiteral("Kafe9"), QStringLiteral("TOVLE"),
                false);
        dataRow("changed: case differs", QStringLiteral("Kafe9"), QStringLiteral("kafe9"), false);
        dataRow("empty password stored", QStringLiteral(""), QString(), true);
    }
    void builtInPasswordUntilChanged()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, opens);
        if (!stored.isNull())
            m_settings->write(RegKey::Password, QStringLiteral("psw"), stored);

        FrmPassword w(*m_settings);
        QSignalSpy power(&w, &FrmPassword::powerItemsEnabled);
        bool settingsShown = false;
        if (opens) {
            whenModal([&](QWidget* m) {
                if (m->objectName() == QLatin1String("frmpassword")) {
                    whenModal([&](QWidget* s) {
                        settingsShown = s->objectName() == QLatin1String("frmsettings");
                        s->close();
                    });
                    return;
                }
                settingsShown = m->objectName() == QLatin1String("frmsettings");
                m->close();
            });
        }
        w.show();
        type(child<QLineEdit>(&w, QStringLiteral("txtpsw")), typed);
        click(&w, QStringLiteral("btnok"));
        QCOMPARE(settingsShown, opens);
        QCOMPARE(power.count(), opens ? 1 : 0);
        if (opens) {
            QVERIFY(m_prompt->asked().isEmpty());
            QVERIFY(!w.isVisible());
            QVERIFY(child<QLineEdit>(&w, QStringLiteral("txtpsw"))->text().isEmpty());
        } else {
            QCOMPARE(m_prompt->asked().size(), 1);
            QCOMPARE(m_prompt->lastText(), QStringLiteral("Invalid Password"));
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Message"));
            QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::Ok);
            QVERIFY(w.isVisible());
        }
    }

    void rightPasswordOpensSettingsThenEnablesPowerItems()
    {
        FrmPassword w(*m_settings);
        QCOMPARE(w.windowFlags() & Qt::WindowStaysOnTopHint, Qt::WindowStaysOnTopHint);
        QVERIFY(qobject_cast<XpCmdButton*>(child<QAbstractButton>(&w, QStringLiteral("btnok"))));
        QVERIFY(
            qobject_cast<XpCmdButton*>(child<QAbstractButton>(&w, QStringLiteral("btncancel"))));
        QSignalSpy power(&w, &FrmPassword::powerItemsEnabled);
        int powerWhileSettingsOpen = -1;
        whenModal([&](QWidget* m) {
            whenModal([&](QWidget* s) {
                QCOMPARE(s->objectName(), QStringLiteral("frmsettings"));
                // Not before the settings window closes.
                powerWhileSettingsOpen = power.count();
                click(s, QStringLiteral("btn"), FrmSettings::Return);
            });
            type(child<QLineEdit>(m, QStringLiteral("txtpsw")), QStringLiteral("TOVLE"));
            click(m, QStringLiteral("btnok"));
        });
        QCOMPARE(w.exec(), int(QDialog::Accepted));
        QCOMPARE(powerWhileSettingsOpen, 0);
        QCOMPARE(power.count(), 1);
    }

    void enterActsAsOkAndCancelStoresNothing()
    {
        {
            FrmPassword w(*m_settings);
            w.show();
            auto* field = child<QLineEdit>(&w, QStringLiteral("txtpsw"));
            QTest::keyClicks(field, QStringLiteral("nope"));
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(m_prompt->lastText(), QStringLiteral("Invalid Password"));
            QVERIFY(w.isVisible());
        }
        FrmPassword w(*m_settings);
        QSignalSpy power(&w, &FrmPassword::powerItemsEnabled);
        whenModal([&](QWidget* m) { click(m, QStringLiteral("btncancel")); });
        QCOMPARE(w.exec(), int(QDialog::Rejected));
        QCOMPARE(power.count(), 0);
    }

    void wrongPasswordsAreHeldBack()
    {
        Clock::setFixed(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
        const QString waitText = StaffSettings::shutOutMessage(StaffThrottle::FirstDelaySeconds);
        {
            FrmPassword w(*m_settings);
            w.show();
            auto* field = child<QLineEdit>(&w, QStringLiteral("txtpsw"));
            auto* wait = child<QLabel>(&w, QStringLiteral("lblwait"));
            for (int i = 1; i <= StaffThrottle::FreeAttempts; ++i) {
                QVERIFY2(!wait->isVisible(), qPrintable(QString::number(i)));
                type(field, QStringLiteral("guess%1").arg(i));
                click(&w, QStringLiteral("btnok"));
            }
            QCOMPARE(m_prompt->asked().size(), qsizetype(StaffThrottle::FreeAttempts));
            QVERIFY(wait->isVisible());
            QCOMPARE(wait->text(), waitText);
            // Shut out: even the right password is not compared, and no settings window opens.
            bool opened = false;
            QTimer watch;
            connect(&watch, &QTimer::timeout, this, [&opened] {
                if (QWidget* m = QApplication::activeModalWidget()) {
                    opened = true;
                    m->close();
                }
            });
            watch.start(50);
            type(field, QStringLiteral("TOVLE"));
            click(&w, QStringLiteral("btnok"));
            QTest::qWait(100);
            QVERIFY(!opened);
            QVERIFY(w.isVisible());
            QCOMPARE(m_prompt->asked().size(), qsizetype(StaffThrottle::FreeAttempts));
        }
        // Ending the agent wipes nothing: a fresh start over the same settings is still shut out.
        AgentSettings restarted;
        Clock::advance(StaffThrottle::FirstDelaySeconds - 1);
        {
            FrmPassword w(restarted);
            w.show();
            QCOMPARE(child<QLabel>(&w, QStringLiteral("lblwait"))->text(),
                     StaffSettings::shutOutMessage(1));
        }
        Clock::advance(1);
        StaffSettings rules(restarted);
        QCOMPARE(rules.secondsShutOut(), qint64(0));
        // Each further wrong one doubles the time, up to the longest; the right one starts afresh.
        for (qint64 expected : {60, 120, 240, 480, 900, 900}) {
            QCOMPARE(rules.checkPassword(QStringLiteral("nope")), StaffSettings::Check::Wrong);
            QCOMPARE(rules.secondsShutOut(), expected);
            Clock::advance(expected);
        }
        // A clock set back a day does not make the shut-out last a day.
        QCOMPARE(rules.checkPassword(QStringLiteral("nope")), StaffSettings::Check::Wrong);
        Clock::advance(-24 * 3600);
        QCOMPARE(rules.secondsShutOut(), StaffThrottle::LongestDelaySeconds);
        Clock::advance(StaffThrottle::LongestDelaySeconds);
        QCOMPARE(rules.checkPassword(QStringLiteral("TOVLE")), StaffSettings::Check::Right);
        for (int i = 1; i < StaffThrottle::FreeAttempts; ++i)
            QCOMPARE(rules.checkPassword(QStringLiteral("nope")), StaffSettings::Check::Wrong);
        QCOMPARE(rules.secondsShutOut(), qint64(0));
    }

    void closesAfterAMinuteWithoutInput()
    {
        FrmPassword w(*m_settings);
        QCOMPARE(w.inactivityTimer()->interval(), 60 * 1000);
        QVERIFY(w.inactivityTimer()->isSingleShot());
        // The same rule on a shorter clock: typing keeps it open, silence closes it.
        w.inactivityTimer()->setInterval(300);
        QSignalSpy finished(&w, &QDialog::finished);
        w.show();
        auto* field = child<QLineEdit>(&w, QStringLiteral("txtpsw"));
        for (int i = 0; i < 6; ++i) {
            QTest::qWait(120);
            QTest::keyClick(field, Qt::Key_A);
        }
        QVERIFY(w.isVisible());
        // Mouse movement over the window counts too.
        for (int i = 0; i < 4; ++i) {
            QTest::qWait(120);
            QMouseEvent move(QEvent::MouseMove, QPointF(5 + i, 5), w.mapToGlobal(QPointF(5 + i, 5)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&w, &move);
        }
        QVERIFY(w.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2000);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QVERIFY(m_prompt->asked().isEmpty());
    }

    void passwordChangeRulesAndMessages_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("oldText");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reference"); // the password afterwards
        dataRow("from built-in", QString(), "TOVLE", "Net4Cafe", "Net4Cafe", QString(), "Net4Cafe");
        dataRow("wrong old", QString(), "tovle", "x", "x", "Invalid old Password", "TOVLE");
        dataRow("mismatch", "abc", "abc", "new1", "new2", "New Password Mismatch", "abc");
        dataRow("wrong old wins over mismatch", "abc", "abd", "n1", "n2", "Invalid old Password",
                "abc");
        dataRow("empty new password", "abc", "abc", "", "", QString(), "");
        dataRow("the unset marker cannot be a password", "abc", "abc", "Error", "Error",
                "This password cannot be used, please choose another one", "abc");
        dataRow("unset marker refused from built-in too", QString(), "TOVLE", "Error", "Error",
                "This password cannot be used, please choose another one", "TOVLE");
        dataRow("blanks kept", "abc", "abc", " p w ", " p w ", QString(), " p w ");
    }
    void passwordChangeRulesAndMessages()
    {
        QFETCH(QString, stored);
        QFETCH(QString, oldText);
        QFETCH(QString, newText);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        QFETCH(QString, reference);
        if (!stored.isNull())
            m_settings->write(RegKey::Password, QStringLiteral("psw"), stored);

        FrmSettings w(*m_settings);
        w.show();
        click(&w, QStringLiteral("btn"), FrmSettings::PasswordChange);
        auto* panel = child<QGroupBox>(&w, QStringLiteral("frampassword"));
        QVERIFY(panel->isVisible());
        type(child<QLineEdit>(&w, QStringLiteral("txtpsw"), 0), oldText);
        type(child<QLineEdit>(&w, QStringLiteral("txtpsw"), 1), newText);
        type(child<QLineEdit>(&w, QStringLiteral("txtpsw"), 2), confirm);
        child<QLineEdit>(&w, QStringLiteral("txtpsw"), 2)->setFocus();
        click(&w, QStringLiteral("btnpswsave"));
        if (message.isNull()) {
            QVERIFY(m_prompt->asked().isEmpty());
            QVERIFY(!panel->isVisible());
        } else {
            QCOMPARE(m_prompt->texts(), QStringList{message});
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Message"));
            QVERIFY(panel->isVisible());
            if (message == QLatin1String("Invalid old Password"))
                QCOMPARE(w.focusWidget(), child<QLineEdit>(&w, QStringLiteral("txtpsw"), 0));
        }
        QCOMPARE(StaffSettings(*m_settings).referencePassword(), reference);
        // The password window follows the stored password at once.
        QVERIFY(StaffSettings(*m_settings).passwordMatches(reference));
    }

    void panelsAreExclusiveAndButtonsAsLabelled()
    {
        FrmSettings w(*m_settings);
        QCOMPARE(w.windowTitle(), QStringLiteral("VK Client Settings"));
        w.show();
        const QStringList captions = {"Screen Setting",         "Addvertisement",
                                      "Password Change",        "Reconnect to VK Server",
                                      "Display Timer Settings", "Return"};
        for (int i = 0; i < 6; ++i) {
            auto* b =
                qobject_cast<XpCmdButton*>(child<QAbstractButton>(&w, QStringLiteral("btn"), i));
            QVERIFY(b);
            QCOMPARE(b->text(), captions.at(i));
            QCOMPARE(b->isEnabled(), i != FrmSettings::DisplayTimer);
        }
        auto* screen = child<QGroupBox>(&w, QStringLiteral("framscreensetting"));
        auto* add = child<QGroupBox>(&w, QStringLiteral("framaddver"));
        auto* psw = child<QGroupBox>(&w, QStringLiteral("frampassword"));
        auto visible = [&] {
            return QList<bool>{screen->isVisible(), add->isVisible(), psw->isVisible()};
        };
        QCOMPARE(visible(), (QList<bool>{false, false, false}));
        click(&w, QStringLiteral("btn"), 0);
        QCOMPARE(visible(), (QList<bool>{true, false, false}));
        click(&w, QStringLiteral("btn"), 1);
        QCOMPARE(visible(), (QList<bool>{false, true, false}));
        click(&w, QStringLiteral("btn"), 2);
        QCOMPARE(visible(), (QList<bool>{false, false, true}));
        click(&w, QStringLiteral("btn"), 0);
        QCOMPARE(visible(), (QList<bool>{true, false, false}));
        QSignalSpy finished(&w, &QDialog::finished);
        click(&w, QStringLiteral("btn"), FrmSettings::Return);
        QCOMPARE(finished.count(), 1);
    }

    void screenModeApplyRules()
    {
        FrmSettings w(*m_settings);
        QSignalSpy applied(&w, &FrmSettings::screenApplied);
        w.show();
        click(&w, QStringLiteral("btn"), FrmSettings::ScreenSetting);
        auto* list = child<QComboBox>(&w, QStringLiteral("cmbscreen"));
        auto* setting = child<QAbstractButton>(&w, QStringLiteral("btnscreensetting"));
        auto* apply = child<QAbstractButton>(&w, QStringLiteral("btmscreenapply"));
        auto* cancel = child<QAbstractButton>(&w, QStringLiteral("btnscreencancel"));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->itemText(0), QStringLiteral("Default"));
        QCOMPARE(list->itemText(1), QStringLiteral("VKPictures"));
        QCOMPARE(list->itemText(2), QStringLiteral("VKText"));
        // No mode stored: "Setting" is off, and so are "Applay" and "Cancel" at first.
        QVERIFY(!setting->isEnabled());
        QVERIFY(!apply->isEnabled());
        QVERIFY(!cancel->isEnabled());

        // "VKText" can never be applied.
        list->setCurrentIndex(2);
        QVERIFY(setting->isEnabled());
        QVERIFY(!apply->isEnabled());
        QVERIFY(!cancel->isEnabled());
        click(&w, QStringLiteral("btnscreensetting")); // nothing opens for the text mode
        QVERIFY(!apply->isEnabled());

        list->setCurrentIndex(0);
        QVERIFY(apply->isEnabled());
        QVERIFY(cancel->isEnabled());
        click(&w, QStringLiteral("btmscreenapply"));
        QCOMPARE(m_settings->read(RegKey::Screen, QStringLiteral("defaults")),
                 QStringLiteral("Default"));
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.first().first().toString(), QStringLiteral("Default"));

        // Opening the panel again shows the stored mode with "Setting" on.
        click(&w, QStringLiteral("btn"), FrmSettings::Advertisement);
        click(&w, QStringLiteral("btn"), FrmSettings::ScreenSetting);
        QCOMPARE(list->currentText(), QStringLiteral("Default"));
        QVERIFY(setting->isEnabled());
    }

    void pictureModeAppliesAfterItsSettings()
    {
        const QString folder = m_home->file(QStringLiteral("ads"));
        FrmSettings w(*m_settings);
        QSignalSpy applied(&w, &FrmSettings::screenApplied);
        w.show();
        click(&w, QStringLiteral("btn"), FrmSettings::ScreenSetting);
        auto* list = child<QComboBox>(&w, QStringLiteral("cmbscreen"));
        auto* apply = child<QAbstractButton>(&w, QStringLiteral("btmscreenapply"));
        list->setCurrentIndex(1);
        QVERIFY(!apply->isEnabled());

        // Cancelled picture settings leave "Applay" off.
        whenModal([](QWidget* p) { click(p, QStringLiteral("btncancel")); });
        click(&w, QStringLiteral("btnscreensetting"));
        QVERIFY(!apply->isEnabled());
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("path")), SettingsStore::Error);

        whenModal([&](QWidget* p) {
            QCOMPARE(p->objectName(), QStringLiteral("frmpicture"));
            child<QRadioButton>(p, QStringLiteral("Option1"))->setChecked(true);
            child<QLineEdit>(p, QStringLiteral("Path"))->setText(folder);
            child<QScrollBar>(p, QStringLiteral("speed"))->setValue(7);
            click(p, QStringLiteral("btnok"));
        });
        click(&w, QStringLiteral("btnscreensetting"));
        QVERIFY(apply->isEnabled());
        QVERIFY(child<QAbstractButton>(&w, QStringLiteral("btnscreencancel"))->isEnabled());
        click(&w, QStringLiteral("btmscreenapply"));
        QCOMPARE(m_settings->read(RegKey::Screen, QStringLiteral("defaults")),
                 QStringLiteral("VKPictures"));
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("Speed")),
                 QStringLiteral("7000"));
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("path")), folder);
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("picture")),
                 QStringLiteral("True"));
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.first().first().toString(), QStringLiteral("VKPictures"));
    }

    void screenCancelRestoresTheStoredMode()
    {
        m_settings->write(RegKey::Screen, QStringLiteral("defaults"), QStringLiteral("VKPictures"));
        FrmSettings w(*m_settings);
        w.show();
        click(&w, QStringLiteral("btn"), FrmSettings::ScreenSetting);
        auto* list = child<QComboBox>(&w, QStringLiteral("cmbscreen"));
        QCOMPARE(list->currentText(), QStringLiteral("VKPictures"));
        list->setCurrentIndex(0);
        click(&w, QStringLiteral("btnscreencancel"));
        QCOMPARE(list->currentText(), QStringLiteral("VKPictures"));
        QVERIFY(child<QAbstractButton>(&w, QStringLiteral("btnscreensetting"))->isEnabled());
        QCOMPARE(m_settings->read(RegKey::Screen, QStringLiteral("defaults")),
                 QStringLiteral("VKPictures"));
    }

    void advertisementTextsSaveAndReload()
    {
        {
            FrmSettings w(*m_settings);
            w.show();
            // Only one text stored: the fields stay empty.
            m_settings->write(RegKey::Advertisement, QStringLiteral("title"),
                              QStringLiteral("only"));
            click(&w, QStringLiteral("btn"), FrmSettings::Advertisement);
            QCOMPARE(child<QLineEdit>(&w, QStringLiteral("lbladd"), 0)->text(), QString());
            type(child<QLineEdit>(&w, QStringLiteral("lbladd"), 0),
                 QStringLiteral("Happy hour 5-7 pm"));
            type(child<QLineEdit>(&w, QStringLiteral("lbladd"), 1),
                 QStringLiteral("Printing \"A4\" 2 each "));
            click(&w, QStringLiteral("btnaddsave"));
            QVERIFY(!child<QGroupBox>(&w, QStringLiteral("framaddver"))->isVisible());
        }
        QCOMPARE(m_settings->read(RegKey::Advertisement, QStringLiteral("title")),
                 QStringLiteral("Happy hour 5-7 pm"));
        QCOMPARE(m_settings->read(RegKey::Advertisement, QStringLiteral("text")),
                 QStringLiteral("Printing \"A4\" 2 each "));
        FrmSettings again(*m_settings);
        again.show();
        click(&again, QStringLiteral("btn"), FrmSettings::Advertisement);
        QCOMPARE(child<QLineEdit>(&again, QStringLiteral("lbladd"), 0)->text(),
                 QStringLiteral("Happy hour 5-7 pm"));
        QCOMPARE(child<QLineEdit>(&again, QStringLiteral("lbladd"), 1)->text(),
                 QStringLiteral("Printing \"A4\" 2 each "));
    }

    void reconnectAsksForTheConnectionDialog()
    {
        FrmSettings w(*m_settings);
        QSignalSpy reconnect(&w, &FrmSettings::reconnectRequested);
        w.show();
        click(&w, QStringLiteral("btn"), FrmSettings::PasswordChange);
        click(&w, QStringLiteral("btn"), FrmSettings::Reconnect);
        QCOMPARE(reconnect.count(), 1);
        QVERIFY(!child<QGroupBox>(&w, QStringLiteral("frampassword"))->isVisible());

        // Passed on through the password window, which is where the lock screen connects.
        FrmPassword p(*m_settings);
        QSignalSpy forwarded(&p, &FrmPassword::reconnectRequested);
        whenModal([&](QWidget* m) {
            whenModal([&](QWidget* s) {
                click(s, QStringLiteral("btn"), FrmSettings::Reconnect);
                click(s, QStringLiteral("btn"), FrmSettings::Return);
            });
            type(child<QLineEdit>(m, QStringLiteral("txtpsw")), QStringLiteral("TOVLE"));
            click(m, QStringLiteral("btnok"));
        });
        p.exec();
        QCOMPARE(forwarded.count(), 1);
    }

    void pictureWindowLoadsTheStoredOptions()
    {
        {
            FrmPicture w(*m_settings);
            QCOMPARE(w.windowTitle(), QStringLiteral("VK Screen Setting"));
            QCOMPARE(child<QLabel>(&w, QStringLiteral("lblspeed"))->text(),
                     QStringLiteral("1 Sec"));
            QCOMPARE(child<QScrollBar>(&w, QStringLiteral("speed"))->value(), 1);
            // The wallpaper choice would change nothing here, so it is not offered.
            QVERIFY(child<QRadioButton>(&w, QStringLiteral("Option2"))->isHidden());
            QVERIFY(!child<QRadioButton>(&w, QStringLiteral("Option1"))->isChecked());
            QVERIFY(!child<QRadioButton>(&w, QStringLiteral("Option2"))->isChecked());
        }
        m_settings->write(RegKey::Picture, QStringLiteral("Speed"), QStringLiteral("12000"));
        m_settings->write(RegKey::Picture, QStringLiteral("path"), QStringLiteral("/srv/ads"));
        m_settings->write(RegKey::Picture, QStringLiteral("picture"), QStringLiteral("False"));
        FrmPicture w(*m_settings);
        w.show();
        QCOMPARE(child<QScrollBar>(&w, QStringLiteral("speed"))->value(), 12);
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblspeed"))->text(), QStringLiteral("12 Sec"));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("Path"))->text(), QStringLiteral("/srv/ads"));
        QVERIFY(child<QRadioButton>(&w, QStringLiteral("Option2"))->isChecked());
        QVERIFY(!child<QRadioButton>(&w, QStringLiteral("Option2"))->isVisible());
        // A stored wallpaper choice, which cannot be seen, greys nothing out.
        QVERIFY(child<QLineEdit>(&w, QStringLiteral("Path"))->isEnabled());
        QVERIFY(child<QWidget>(&w, QStringLiteral("LoadPic"))->isEnabled());
        QVERIFY(child<QScrollBar>(&w, QStringLiteral("speed"))->isEnabled());
        child<QRadioButton>(&w, QStringLiteral("Option1"))->click();
        QVERIFY(child<QLineEdit>(&w, QStringLiteral("Path"))->isEnabled());
        QVERIFY(child<QWidget>(&w, QStringLiteral("LoadPic"))->isEnabled());
        QVERIFY(child<QScrollBar>(&w, QStringLiteral("speed"))->isEnabled());
        child<QScrollBar>(&w, QStringLiteral("speed"))->setValue(3);
        QCOMPARE(child<QLabel>(&w, QStringLiteral("lblspeed"))->text(), QStringLiteral("3 Sec"));

        // "picture" reading true selects "Use Pictures".
        m_settings->write(RegKey::Picture, QStringLiteral("picture"), QStringLiteral("True"));
        FrmPicture second(*m_settings);
        QVERIFY(child<QRadioButton>(&second, QStringLiteral("Option1"))->isChecked());
    }

    void pictureWindowOkStoresCancelDoesNot()
    {
        {
            FrmPicture w(*m_settings);
            child<QRadioButton>(&w, QStringLiteral("Option1"))->setChecked(true);
            child<QLineEdit>(&w, QStringLiteral("Path"))->setText(QStringLiteral("/tmp/x"));
            whenModal([](QWidget* p) { click(p, QStringLiteral("btncancel")); });
            QCOMPARE(w.exec(), int(QDialog::Rejected));
        }
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("path")), SettingsStore::Error);
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("picture")),
                 SettingsStore::Error);

        // The wallpaper choice still stores the path field's text.
        FrmPicture w(*m_settings);
        child<QRadioButton>(&w, QStringLiteral("Option2"))->setChecked(true);
        child<QLineEdit>(&w, QStringLiteral("Path"))->setText(QStringLiteral("/home/cafe/ads"));
        whenModal([](QWidget* p) { click(p, QStringLiteral("btnok")); });
        QCOMPARE(w.exec(), int(QDialog::Accepted));
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("path")),
                 QStringLiteral("/home/cafe/ads"));
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("picture")),
                 QStringLiteral("False"));
        QCOMPARE(m_settings->read(RegKey::Picture, QStringLiteral("Speed")),
                 QStringLiteral("1000"));
    }

    void pictureWindowBrowseTakesTheFolder()
    {
        const QString folder = m_home->file(QStringLiteral("ads"));
        QString askedTitle, askedFolder, askedFilter;
        FrmPicture::setFileChooser(
            [&](QWidget*, const QString& title, const QString& from, const QString& filter) {
                askedTitle = title;
                askedFolder = from;
                askedFilter = filter;
                return folder + QStringLiteral("/summer offer.jpg");
            });
        FrmPicture w(*m_settings);
        child<QRadioButton>(&w, QStringLiteral("Option1"))->setChecked(true);
        child<QLineEdit>(&w, QStringLiteral("Path"))->setText(QStringLiteral("/start/here"));
        click(&w, QStringLiteral("LoadPic"));
        QCOMPARE(askedTitle, QStringLiteral("Open picture"));
        QCOMPARE(askedFolder, QStringLiteral("/start/here"));
        QCOMPARE(askedFilter, FrmPicture::fileFilter());
        QVERIFY(
            askedFilter.startsWith(QLatin1String("Supported types (*.bmp *.gif *.jpg *.jpeg)")));
        QVERIFY(askedFilter.contains(QLatin1String("Bitmap files (*.bmp)")));
        QVERIFY(askedFilter.endsWith(QLatin1String("All files (*)")));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("Path"))->text(), folder);

        // Cancelling the file dialog changes nothing.
        FrmPicture::setFileChooser(
            [](QWidget*, const QString&, const QString&, const QString&) { return QString(); });
        click(&w, QStringLiteral("LoadPic"));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("Path"))->text(), folder);
        QCOMPARE(StaffSettings::folderOf(QStringLiteral("C:\\ads\\a.bmp")),
                 QStringLiteral("C:\\ads"));
        QCOMPARE(StaffSettings::folderOf(QStringLiteral("/a.bmp")), QStringLiteral("/"));
    }

private:
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TstAgentSettingsWindows)
#include "tst_agentsettings_windows.moc"
