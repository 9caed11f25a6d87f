// SPDX-License-Identifier: Apache-2.0
#include "platform/autostart.h"
#include "support/datarow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_dir->path().toLocal8Bit());
    }
    void cleanup()
    {
        qunsetenv("XDG_CONFIG_HOME");
        m_dir.reset();
    }

    void enableDisableAndEnableAgain()
    {
        const QString name = QStringLiteral("Vantirokit Server");
        QCOMPARE(Autostart::entryFile(name),
                 m_dir->path() + QStringLiteral("/autostart/Vantirokit_Server.desktop"));
        QVERIFY(Autostart::setEnabled(name, QStringLiteral("/opt/vk/vkserver"), true));
        QVERIFY(Autostart::isEnabled(name));
        const QString text = read(Autostart::entryFile(name));
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("\nType=Application\n")));
        QVERIFY(text.contains(QStringLiteral("\nName=Vantirokit Server\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/opt/vk/vkserver\"\n")));

        // Switched off, the entry stays and says so, as the cashier left it.
        QVERIFY(Autostart::setEnabled(name, QStringLiteral("/opt/vk/vkserver"), false));
        QVERIFY(!Autostart::isEnabled(name));
        QVERIFY(read(Autostart::entryFile(name)).contains(QStringLiteral("\nHidden=true\n")));

        QVERIFY(Autostart::setEnabled(name, QStringLiteral("/opt/vk/vkserver"), true));
        QVERIFY(Autostart::isEnabled(name));
    }

    void awkwardPathIsQuotedForTheExecLine()
    {
        const QString path = QStringLiteral("/opt/my cafe/vk$server \"x\" 100%\\bin");
        QVERIFY(Autostart::setEnabled(QStringLiteral("vk"), path, true));
        QVERIFY(read(Autostart::entryFile(QStringLiteral("vk")))
                    .contains(QStringLiteral(
                        "\nExec=\"/opt/my cafe/vk\\\\$server \\\\\"x\\\\\" 100%%\\\\\\\\bin\"\n")));
    }

    void entriesSwitchedOffElsewhereAreOff_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enabled");
        dataRow("gnome off",
                QByteArray("[Desktop Entry]\nExec=/bin/vk\nX-GNOME-Autostart-enabled=false\n"),
                false);
        dataRow("no command", QByteArray("[Desktop Entry]\nType=Application\n"), false);
        dataRow("hidden in another group",
                QByteArray("[Desktop Entry]\nExec=/bin/vk\n[Desktop Action x]\nHidden=true\n"),
                true);
    }
    void entriesSwitchedOffElsewhereAreOff()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, enabled);
        const QString file = Autostart::entryFile(QStringLiteral("vk"));
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QCOMPARE(Autostart::isEnabled(QStringLiteral("vk")), enabled);
    }

    void unwritableFolderFails()
    {
        // A file where the autostart folder should be.
        QFile blocker(m_dir->filePath(QStringLiteral("autostart")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!Autostart::setEnabled(QStringLiteral("vk"), QStringLiteral("/bin/vk"), true));
        QVERIFY(!Autostart::isEnabled(QStringLiteral("vk")));
    }

private:
    static QString read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
