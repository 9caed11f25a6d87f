// SPDX-License-Identifier: Apache-2.0
#include "common/settingsstore.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>

#include <memory>

// The test re-runs its own executable as the other writers of the settings file VK_STORE_FILE,
// naming their values VK_STORE_PREFIX and a number.
namespace {

const QString Key = RegKey::Options;

QString childValue(const QString& name)
{
    return QStringLiteral("value of ") + name + QStringLiteral(" \"quoted\" \\ end ");
}

int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SettingsStore store(qEnvironmentVariable("VK_STORE_FILE"));
    const QString prefix = qEnvironmentVariable("VK_STORE_PREFIX");
    QTextStream out(stdout);
    // Writes until killed and reports each write it reads back, so the parent knows what must
    // survive the kill. (A write that waited too long for the lock is dropped, and not reported.)
    for (int i = 0;; ++i) {
        const QString name = prefix + QString::number(i);
        store.writeValue(Key, name, childValue(name));
        if (store.readValue(Key, name) == childValue(name)) {
            out << name << Qt::endl;
        }
    }
}

std::unique_ptr<QProcess> startWriter(const QString& file, const QString& prefix)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VK_STORE_FILE"), file);
    env.insert(QStringLiteral("VK_STORE_PREFIX"), prefix);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), {});
    return p;
}

QString fileText(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every line of a file the store wrote is a section or a value, and ends with a line break.
bool wellFormed(const QString& text)
{
    static const QRegularExpression lines(QStringLiteral("^((\\[.*\\]|\".*\")?\n)*$"));
    return lines.match(text).hasMatch();
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_prompt = std::make_unique<ScriptedPrompt>();
    }
    void cleanup()
    {
        m_prompt.reset();
        m_home.reset();
    }

    void fileModeSetByStaffIsKept()
    {
        // The file may hold the cafe's link key. The programs create it owner-only; staff may
        // open it to a group, or close it again, and the programs' own writes (which replace
        // the file) keep what they chose.
        using P = QFileDevice;
        const P::Permissions owner = P::ReadOwner | P::WriteOwner;
        SettingsStore s;
        s.createKey(Key);
        for (const P::Permissions mode : {owner, owner | P::ReadGroup}) {
            QFile::setPermissions(s.fileName(), mode);
            s.writeValue(Key, QStringLiteral("linkkey"), QStringLiteral("k"));
            QCOMPARE(QFile::permissions(s.fileName()) & ~(P::ReadUser | P::WriteUser), mode);
        }
        QCOMPARE(s.readValue(Key, QStringLiteral("linkkey")), QStringLiteral("k"));
    }

    // The default file is the home folder's: handWrittenFileIsReadAndKept writes it there.
    void keysAndValues()
    {
        SettingsStore s;
        // A write needs an existing key.
        s.writeValue(Key, QStringLiteral("port"), QStringLiteral("2701"));
        QCOMPARE(s.readValue(Key, QStringLiteral("port")), SettingsStore::Error);
        QVERIFY(!s.keyExists(Key));
        s.createKey(Key);
        s.writeValue(Key, QStringLiteral("port"), QStringLiteral("2701"));
        // Creating an existing key leaves its values alone.
        s.createKey(Key);
        QCOMPARE(s.readValue(Key, QStringLiteral("port")), QStringLiteral("2701"));
        s.writeValue(Key, QStringLiteral("port"), QStringLiteral("2702"));
        QCOMPARE(s.readValue(Key, QStringLiteral("port")), QStringLiteral("2702"));

        s.writeValue(Key, QStringLiteral("empty"), QString());
        const QString empty = s.readValue(Key, QStringLiteral("empty"));
        QVERIFY(empty.isEmpty() && !empty.isNull());
        s.writeValue(Key, QStringLiteral("long"), QString(255, QLatin1Char('y')));
        QCOMPARE(s.readValue(Key, QStringLiteral("long")), SettingsStore::Error);
        s.writeValue(Key, QStringLiteral("long"), QString(254, QLatin1Char('y')));
        QCOMPARE(s.readValue(Key, QStringLiteral("long")), QString(254, QLatin1Char('y')));

        // Parents are created with their child.
        s.createKey(RegKey::Picture);
        QVERIFY(s.keyExists(RegKey::Product));
        QVERIFY(!s.keyExists(RegKey::Password));
        QVERIFY(m_prompt->asked().isEmpty());
    }

    void valuesRoundTripExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("trailing blanks") << QStringLiteral("PC-07   ");
        QTest::newRow("quotes") << QStringLiteral("say \"hi\"\"");
        QTest::newRow("backslashes") << QStringLiteral("C:\\temp\\new\\\\");
        QTest::newRow("escape lookalikes") << QStringLiteral("\\n is not a newline \\\"");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\r");
        QTest::newRow("non-ASCII") << QStringLiteral("Café ₹ 日本 🙂");
        QTest::newRow("section lookalike") << QStringLiteral("]\n[HKEY_LOCAL_MACHINE\\X]");
        QTest::newRow("the word Error") << QStringLiteral("Error");
    }
    void valuesRoundTripExactly()
    {
        QFETCH(QString, value);
        SettingsStore s;
        s.createKey(Key);
        s.writeValue(Key, QStringLiteral("v"), value);
        s.writeValue(Key, QStringLiteral("after"), QStringLiteral("a"));
        QCOMPARE(s.readValue(Key, QStringLiteral("v")), value);
        QCOMPARE(s.readValue(Key, QStringLiteral("after")), QStringLiteral("a"));
        QVERIFY(wellFormed(fileText(s.fileName())));
        // The same awkward text as a value name.
        s.writeValue(Key, value, QStringLiteral("named"));
        QCOMPARE(s.readValue(Key, value), QStringLiteral("named"));
    }

    void namesIgnoreCaseKeepTheirFirstSpellingAndRootsMatchExactly()
    {
        SettingsStore s;
        s.createKey(RegKey::AgentOptions); // "...\options"
        s.writeValue(RegKey::Options, QStringLiteral("RunMinimized"), QStringLiteral("1"));
        QCOMPARE(s.readValue(QStringLiteral("HKEY_LOCAL_MACHINE\\software\\VANTIROKIT\\OpTiOnS"),
                             QStringLiteral("runminimized")),
                 QStringLiteral("1"));
        s.writeValue(RegKey::AgentOptions, QStringLiteral("RUNMINIMIZED"), QStringLiteral("0"));
        s.createKey(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTIROKIT\\OPTIONS"));
        QCOMPARE(s.readValue(RegKey::Options, QStringLiteral("RunMinimized")), QStringLiteral("0"));
        const QString text = fileText(s.fileName());
        QCOMPARE(text.count(QStringLiteral("\"RunMinimized\"=\"0\"")), 1);
        QCOMPARE(text.count(QStringLiteral("RUNMINIMIZED"), Qt::CaseInsensitive), 1);
        QVERIFY(
            text.contains(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\options]")));
        QCOMPARE(text.count(QStringLiteral("\\options]"), Qt::CaseInsensitive), 1);

        // The first and the last of the seven, and the one the programs use.
        const QStringList roots = {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE", "HKEY_DYN_DATA"};
        for (const QString& r : roots) {
            const QString path = r + QStringLiteral("\\SOFTWARE\\Test");
            s.createKey(path);
            s.writeValue(path, QStringLiteral("root"), r);
        }
        for (const QString& r : roots) {
            QCOMPARE(s.readValue(r + QStringLiteral("\\software\\test"), QStringLiteral("root")),
                     r);
        }
        // Same letters, other case: not one of the seven, so nothing is read or written.
        const QString odd = QStringLiteral("HKEY_Local_Machine\\SOFTWARE\\Test");
        s.writeValue(odd, QStringLiteral("root"), QStringLiteral("changed"));
        QVERIFY(!s.keyExists(odd));
        QCOMPARE(s.readValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Test"),
                             QStringLiteral("root")),
                 QStringLiteral("HKEY_LOCAL_MACHINE"));
        QVERIFY(m_prompt->asked().isEmpty());
    }

    void badFormatIsReportedAndDoesNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("no root") << QStringLiteral("SOFTWARE\\Vantirokit");
        QTest::newRow("trailing backslash") << QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\");
        QTest::newRow("lower-case prefix") << QStringLiteral("hkey_local_machine\\SOFTWARE");
        QTest::newRow("empty") << QString();
    }
    void badFormatIsReportedAndDoesNothing()
    {
        QFETCH(QString, path);
        SettingsStore s;
        const QString expected = QStringLiteral("Incorrect Format:\n\n") + path;
        s.createKey(path);
        s.writeValue(path, QStringLiteral("v"), QStringLiteral("x"));
        QVERIFY(s.readValue(path, QStringLiteral("v")).isEmpty());
        QVERIFY(!QFile::exists(s.fileName()));
        QCOMPARE(m_prompt->asked().size(), 3);
        for (const ScriptedPrompt::Asked& a : m_prompt->asked()) {
            QCOMPARE(a.text, expected);
        }
    }

    void handWrittenFileIsReadAndKept()
    {
        const QString file = m_home->file(QStringLiteral("vantirokit.conf"));
        writeFile(file, "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                        "\r\n"
                        "; installed by the setup\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\r\n"
                        "\"Server\"=\"192.168.1.10\"\r\n"
                        "  \"cname\" = \"PC-07  \"  \r\n"
                        "\"path\"=\"D:\\data\\pics\"\r\n"
                        "\"escaped\"=\"a\\\\b\\\"c\\nd\"\r\n"
                        "\"count\"=dword:00000001\r\n"
                        "this line means nothing\r\n"
                        "@=\"unnamed\"\r\n"
                        "\"port\"=\"2700\"\r\n"
                        "\"Port\"=\"2701\"\r\n"
                        "\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\vkscreen\\vkpicture]\r\n"
                        "\"Speed\"=\"3\"\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTIROKIT\\server]\r\n"
                        "\"connected\"=\"True\"\r\n");
        SettingsStore s;
        const auto server = RegKey::Server;
        QCOMPARE(s.readValue(server, QStringLiteral("Server")), QStringLiteral("192.168.1.10"));
        QCOMPARE(s.readValue(server, QStringLiteral("cname")), QStringLiteral("PC-07  "));
        QCOMPARE(s.readValue(server, QStringLiteral("path")), QStringLiteral("D:\\data\\pics"));
        QCOMPARE(s.readValue(server, QStringLiteral("escaped")), QStringLiteral("a\\b\"c\nd"));
        QCOMPARE(s.readValue(server, QStringLiteral("count")), SettingsStore::Error);
        QCOMPARE(s.readValue(server, QString()), QStringLiteral("unnamed"));
        QCOMPARE(s.readValue(server, QStringLiteral("port")), QStringLiteral("2701"));
        QCOMPARE(s.readValue(server, QStringLiteral("connected")), QStringLiteral("True"));
        QCOMPARE(s.readValue(RegKey::Picture, QStringLiteral("speed")), QStringLiteral("3"));
        QVERIFY(s.keyExists(RegKey::Screen)); // a parent present only through its child

        s.writeValue(server, QStringLiteral("cname"), QStringLiteral("PC-08"));
        s.writeValue(server, QStringLiteral("COUNT"), QStringLiteral("2"));
        s.writeValue(RegKey::Screen, QStringLiteral("defaults"), QStringLiteral("VKPictures"));
        const QString text = fileText(file);
        QVERIFY(text.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\n")));
        QVERIFY(text.contains(QStringLiteral("; installed by the setup")));
        QVERIFY(text.contains(QStringLiteral("\"count\"=\"2\"")));
        QVERIFY(!text.contains(QStringLiteral("dword")));
        QCOMPARE(s.readValue(RegKey::Screen, QStringLiteral("defaults")),
                 QStringLiteral("VKPictures"));
        QCOMPARE(s.readValue(RegKey::Picture, QStringLiteral("Speed")), QStringLiteral("3"));
    }

    void utf16ExportIsRead()
    {
        const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\"
                                            "advertisment]\r\n\"title\"=\"Café ₹\"\r\n");
        QByteArray bytes("\xFF\xFE", 2);
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        writeFile(m_home->file(QStringLiteral("vantirokit.conf")), bytes);
        QCOMPARE(SettingsStore().readValue(RegKey::Advertisement, QStringLiteral("title")),
                 QStringLiteral("Café ₹"));
    }

    // Each write replaces the whole file under a lock: a reader never falls into a half-written
    // file, writers in other processes lose none of each other's values, and a writer killed at
    // any point leaves a whole file that holds every write it reported.
    void writersAndReadersShareTheFile()
    {
        SettingsStore s;
        s.createKey(Key);
        // A larger file makes each rewrite take long enough for a reader to fall into it.
        for (int i = 0; i < 300; ++i) {
            s.writeValue(Key, QStringLiteral("filler") + QString::number(i), QString(200, 'f'));
        }
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString& prefix : {QStringLiteral("x"), QStringLiteral("y")}) {
            writers.push_back(startWriter(s.fileName(), prefix));
            QVERIFY(writers.back()->waitForStarted());
        }
        QStringList reported;
        const auto readReported = [&] {
            for (auto& w : writers) {
                w->waitForReadyRead(0);
                while (w->canReadLine()) {
                    reported << QString::fromUtf8(w->readLine().trimmed());
                }
            }
        };
        int reads = 0;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000 || reads <= 20 ||
               reported.filter(QStringLiteral("x")).size() < 5 ||
               reported.filter(QStringLiteral("y")).size() < 5) {
            QVERIFY(t.elapsed() < 120000);
            readReported();
            const QString text = fileText(s.fileName());
            ++reads;
            QVERIFY2(wellFormed(text), qPrintable(text.right(200)));
            QVERIFY(text.contains(QStringLiteral("\"filler299\"")));
        }
        for (auto& w : writers) {
            w->kill(); // SIGKILL: no clean-up of any kind
            QVERIFY(w->state() == QProcess::NotRunning || w->waitForFinished(10000));
        }
        readReported();
        QVERIFY(wellFormed(fileText(s.fileName())));
        for (const QString& name : reported) {
            QCOMPARE(s.readValue(Key, name), childValue(name));
        }
        // After the kill the store still takes writes, whatever lock was left behind.
        s.writeValue(Key, QStringLiteral("after"), QStringLiteral("ok"));
        QCOMPARE(s.readValue(Key, QStringLiteral("after")), QStringLiteral("ok"));
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedPrompt> m_prompt;
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("VK_STORE_FILE")) {
        return childMain(argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsstore.moc"
