// SPDX-License-Identifier: Apache-2.0
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
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

template <typename T> T* child(QWidget* w, const char* name, int index = -1)
{
    for (T* c : w->findChildren<T*>(QLatin1String(name))) {
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

void click(QWidget* w, const char* name, int index = -1)
{
    auto* b = child<QAbstractButton>(w, name, index);
    QVERIFY2(b, name);
    QVERIFY2(b->isEnabled(), qPrintable(QLatin1String(name) + u" is disabled"_s));
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
        QTest::addColumn<bool>("enter"); // Enter in the field instead of OK
        QTest::addColumn<bool>("opens");
        dataRow("built-in", QString(), u"TOVLE"_s, false, true);
        dataRow("built-in, other case", QString(), u"tovle"_s, true, false);
        dataRow("changed: built-in refused", u"Kafe9"_s, u"TOVLE"_s, false, false);
        dataRow("empty password stored", u""_s, QString(), false, true);
    }
    void builtInPasswordUntilChanged()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, enter);
        QFETCH(bool, opens);
        if (!stored.isNull())
            m_settings->write(RegKey::Password, u"psw"_s, stored);

        FrmPassword w(*m_settings);
        QSignalSpy power(&w, &FrmPassword::powerItemsEnabled);
        int powerWhileSettingsOpen = -1; // stays -1 unless the settings window opened
        bool refusedStaysOpen = false;
        whenModal([&](QWidget* m) {
            if (opens) {
                whenModal([&](QWidget* s) {
                    // Not before the settings window closes.
                    if (s->objectName() == u"frmsettings"_s)
                        powerWhileSettingsOpen = power.count();
                    click(s, "btn", FrmSettings::Return);
                });
            }
            auto* field = child<QLineEdit>(m, "txtpsw");
            type(field, typed);
            if (enter)
                QTest::keyClick(field, Qt::Key_Return);
            else
                click(m, "btnok");
            if (!opens) {
                refusedStaysOpen = m->isVisible();
                click(m, "btncancel");
            }
        });
        QCOMPARE(w.exec(), int(opens ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(power.count(), opens ? 1 : 0);
        QCOMPARE(powerWhileSettingsOpen, opens ? 0 : -1);
        QCOMPARE(refusedStaysOpen, !opens);
        QCOMPARE(m_prompt->texts(), opens ? QStringList() : QStringList{u"Invalid Password"_s});
    }

    void wrongPasswordsAreHeldBack()
    {
        Clock::setFixed(QDateTime(QDate(2026, 3, 2), QTime(10, 0)));
        const QString waitText = StaffSettings::shutOutMessage(StaffThrottle::FirstDelaySeconds);
        {
            FrmPassword w(*m_settings);
            w.show();
            auto* field = child<QLineEdit>(&w, "txtpsw");
            auto* wait = child<QLabel>(&w, "lblwait");
            for (int i = 1; i <= StaffThrottle::FreeAttempts; ++i) {
                QVERIFY2(!wait->isVisible(), qPrintable(QString::number(i)));
                type(field, u"guess%1"_s.arg(i));
                click(&w, "btnok");
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
            type(field, u"TOVLE"_s);
            click(&w, "btnok");
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
            QCOMPARE(child<QLabel>(&w, "lblwait")->text(), StaffSettings::shutOutMessage(1));
        }
        Clock::advance(1);
        StaffSettings rules(restarted);
        QCOMPARE(rules.secondsShutOut(), qint64(0));
        // Each further wrong one doubles the time, up to the longest; the right one starts afresh.
        for (qint64 expected : {60, 120, 240, 480, 900, 900}) {
            QCOMPARE(rules.checkPassword(u"nope"_s), StaffSettings::Check::Wrong);
            QCOMPARE(rules.secondsShutOut(), expected);
            Clock::advance(expected);
        }
        // A clock set back a day does not make the shut-out last a day.
        QCOMPARE(rules.checkPassword(u"nope"_s), StaffSettings::Check::Wrong);
        Clock::advance(-24 * 3600);
        QCOMPARE(rules.secondsShutOut(), StaffThrottle::LongestDelaySeconds);
        Clock::advance(StaffThrottle::LongestDelaySeconds);
        QCOMPARE(rules.checkPassword(u"TOVLE"_s), StaffSettings::Check::Right);
        for (int i = 1; i < StaffThrottle::FreeAttempts; ++i)
            QCOMPARE(rules.checkPassword(u"nope"_s), StaffSettings::Check::Wrong);
        QCOMPARE(rules.secondsShutOut(), qint64(0));
    }

    void closesAfterAMinuteWithoutInput()
    {
        FrmPassword w(*m_settings);
        QCOMPARE(w.inactivityTimer()->interval(), 60 * 1000);
        // The same rule on a shorter clock: typing keeps it open, silence closes it.
        w.inactivityTimer()->setInterval(300);
        w.show();
        auto* field = child<QLineEdit>(&w, "txtpsw");
        for (int i = 0; i < 6; ++i) {
            QTest::qWait(120);
            QTest::keyClick(field, Qt::Key_A);
        }
        QVERIFY(w.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 2000);
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }

    // The change's rules on their class; the real window's Save is the X11 test's.
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
        dataRow("the unset marker cannot be a password", "abc", "abc", "Error", "Error",
                "This password cannot be used, please choose another one", "abc");
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
            m_settings->write(RegKey::Password, u"psw"_s, stored);
        StaffSettings rules(*m_settings);
        const StaffSettings::Change change = rules.changePassword(oldText, newText, confirm);
        QCOMPARE(change == StaffSettings::Change::Saved, message.isNull());
        if (!message.isNull())
            QCOMPARE(StaffSettings::message(change), message);
        QCOMPARE(rules.referencePassword(), reference);
        // The password window follows the stored password at once.
        QVERIFY(StaffSettings(*m_settings).passwordMatches(reference));
    }

    // One pass through the screen setting: the picture window over the stored options, Browse,
    // Applay and the stored mode.
    void screenSettingAppliesThePictures()
    {
        m_settings->write(RegKey::Picture, u"Speed"_s, u"12000"_s);
        m_settings->write(RegKey::Picture, u"path"_s, u"/srv/ads"_s);
        m_settings->write(RegKey::Picture, u"picture"_s, u"False"_s);
        const QString folder = m_home->file(u"ads"_s);
        QString askedTitle, askedFolder, askedFilter;
        FrmPicture::setFileChooser(
            [&](QWidget*, const QString& title, const QString& from, const QString& filter) {
                askedTitle = title;
                askedFolder = from;
                askedFilter = filter;
                return folder + u"/summer offer.jpg"_s;
            });
        FrmSettings w(*m_settings);
        QCOMPARE(w.windowTitle(), u"VK Client Settings"_s);
        const QStringList captions = {"Screen Setting",         "Addvertisement",
                                      "Password Change",        "Reconnect to VK Server",
                                      "Display Timer Settings", "Return"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(child<QAbstractButton>(&w, "btn", i)->text(), captions.at(i));
        QSignalSpy applied(&w, &FrmSettings::screenApplied);
        w.show();
        click(&w, "btn", FrmSettings::ScreenSetting);
        child<QComboBox>(&w, "cmbscreen")->setCurrentIndex(1);
        // The picture mode applies only after its settings.
        QVERIFY(!child<QAbstractButton>(&w, "btmscreenapply")->isEnabled());
        QString loaded;
        whenModal([&](QWidget* p) {
            loaded = p->windowTitle() + u'|' + child<QLabel>(p, "lblspeed")->text() + u'|' +
                     child<QLineEdit>(p, "Path")->text();
            // The wallpaper choice would change nothing here, so it is not offered, and a
            // stored one, which cannot be seen, greys nothing out.
            if (child<QRadioButton>(p, "Option2")->isVisible())
                loaded += u"|wallpaper offered"_s;
            for (const char* name : {"Path", "LoadPic", "speed"}) {
                if (!child<QWidget>(p, name)->isEnabled())
                    loaded += u"|greyed "_s + QLatin1String(name);
            }
            child<QRadioButton>(p, "Option1")->setChecked(true);
            click(p, "LoadPic");
            child<QScrollBar>(p, "speed")->setValue(7);
            click(p, "btnok");
        });
        click(&w, "btnscreensetting");
        QCOMPARE(loaded, u"VK Screen Setting|12 Sec|/srv/ads"_s);
        QCOMPARE(askedTitle, u"Open picture"_s);
        QCOMPARE(askedFolder, u"/srv/ads"_s);
        QVERIFY(askedFilter.startsWith(u"Supported types (*.bmp *.gif *.jpg *.jpeg)"_s));
        click(&w, "btmscreenapply");
        QCOMPARE(stored(RegKey::Screen, "defaults"), u"VKPictures"_s);
        QCOMPARE(stored(RegKey::Picture, "Speed"), u"7000"_s);
        QCOMPARE(stored(RegKey::Picture, "path"), folder);
        QCOMPARE(stored(RegKey::Picture, "picture"), u"True"_s);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.last().first().toString(), u"VKPictures"_s);
    }

    void advertisementTextsSave()
    {
        FrmSettings w(*m_settings);
        w.show();
        click(&w, "btn", FrmSettings::Advertisement);
        type(child<QLineEdit>(&w, "lbladd", 0), u"Happy hour 5-7 pm"_s);
        type(child<QLineEdit>(&w, "lbladd", 1), u"Printing \"A4\" 2 each "_s);
        click(&w, "btnaddsave");
        QCOMPARE(stored(RegKey::Advertisement, "title"), u"Happy hour 5-7 pm"_s);
        QCOMPARE(stored(RegKey::Advertisement, "text"), u"Printing \"A4\" 2 each "_s);
    }

private:
    QString stored(const QString& key, const char* name) const
    {
        return m_settings->read(key, QLatin1String(name));
    }

    std::unique_ptr<ScriptedPrompt> m_prompt;
};

QTEST_MAIN(TstAgentSettingsWindows)
#include "tst_agentsettings_windows.moc"
