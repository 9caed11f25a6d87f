// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/errorlog.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <memory>

namespace {

QByteArray readAll(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestErrorLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        Clock::setFixed(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7)));
    }
    void cleanup()
    {
        Clock::reset();
        m_home.reset();
    }

    void oneRecordIsEightCrlfLines()
    {
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("Morvek.txt"))));
        ErrorLog::Error e;
        e.number = 3265;
        e.description = QStringLiteral("Item cannot be found");
        e.source = QStringLiteral("Database");
        e.lastSystemError = 5;
        ErrorLog::write(QStringLiteral("objTCP_DataArrival"), e);

        const QByteArray bytes = readAll(m_home->file(QStringLiteral("Morvek.txt")));
        const QString when = QLocale::system().toString(Clock::now(), QLocale::ShortFormat);
        const QByteArray expected = ("Error Occured Date & Time " + when.toUtf8() +
                                     "\r\n"
                                     "Error Number: 3265\r\n"
                                     "Description: Item cannot be found\r\n"
                                     "Source: Database\r\n"
                                     "Calling Form: objTCP_DataArrival\r\n"
                                     "Last Dll Error: 5\r\n"
                                     "Help Context: 0\r\n"
                                     "Help File: \r\n");
        QCOMPARE(bytes, expected);
        QCOMPARE(bytes.count("\r\n"), 8);
        QCOMPARE(bytes.count('\n'), 8);
    }

    void recordsAreAppended()
    {
        ErrorLog::write(QStringLiteral("first"), QStringLiteral("one"), 7);
        Clock::advance(60);
        ErrorLog::write(QStringLiteral("second"), QStringLiteral("two"));
        const QString text = m_home->errorLog();
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 17); // sixteen lines and the empty rest after the last CRLF
        QVERIFY(lines.last().isEmpty());
        QCOMPARE(lines.at(1), QStringLiteral("Error Number: 7"));
        QCOMPARE(lines.at(2), QStringLiteral("Description: one"));
        QCOMPARE(lines.at(4), QStringLiteral("Calling Form: first"));
        QVERIFY(lines.at(8).startsWith(QStringLiteral("Error Occured Date & Time ")));
        QVERIFY(lines.at(8) != lines.at(0)); // the second record carries its own time
        QCOMPARE(lines.at(9), QStringLiteral("Error Number: 0"));
        QCOMPARE(lines.at(10), QStringLiteral("Description: two"));
        QCOMPARE(lines.at(12), QStringLiteral("Calling Form: second"));
        QVERIFY(lines.at(13).startsWith(QStringLiteral("Last Dll Error: ")));
    }

    void existingLogIsKept()
    {
        QFile f(m_home->file(QStringLiteral("Morvek.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier\r\n");
        f.close();
        ErrorLog::write(QStringLiteral("Systryfrom load"), QStringLiteral("x"));
        const QString text = m_home->errorLog();
        QVERIFY(text.startsWith(QStringLiteral("earlier\r\nError Occured Date & Time ")));
        QVERIFY(text.contains(QStringLiteral("\r\nCalling Form: Systryfrom load\r\n")));
    }

    void writtenToTheCurrentFolder()
    {
        const QString sub = m_home->file(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(QDir::setCurrent(sub));
        ErrorLog::write(QStringLiteral("here"), QStringLiteral("x"));
        QVERIFY(QFile::exists(sub + QStringLiteral("/Morvek.txt")));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("Morvek.txt"))));
    }

    void unwritableFolderIsIgnored()
    {
        const QString sub = m_home->file(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(QDir::setCurrent(sub));
        QVERIFY(QDir().mkdir(QStringLiteral("Morvek.txt"))); // a folder where the file would go
        ErrorLog::write(QStringLiteral("here"), QStringLiteral("x")); // must simply return
        QVERIFY(QFileInfo(sub + QStringLiteral("/Morvek.txt")).isDir());
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestErrorLog)
#include "tst_errorlog.moc"
