// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/errorlog.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

#include <memory>

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

    void recordsAreEightCrlfLinesAppendedToTheLog()
    {
        QFile f(m_home->file(QStringLiteral("Morvek.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier\r\n");
        f.close();
        ErrorLog::Error e;
        e.number = 3265;
        e.description = QStringLiteral("Item cannot be found");
        e.source = QStringLiteral("Database");
        e.lastSystemError = 5;
        ErrorLog::write(QStringLiteral("objTCP_DataArrival"), e);

        const QString when = QLocale::system().toString(Clock::now(), QLocale::ShortFormat);
        const QByteArray expected = ("earlier\r\n"
                                     "Error Occured Date & Time " +
                                     when.toUtf8() +
                                     "\r\n"
                                     "Error Number: 3265\r\n"
                                     "Description: Item cannot be found\r\n"
                                     "Source: Database\r\n"
                                     "Calling Form: objTCP_DataArrival\r\n"
                                     "Last Dll Error: 5\r\n"
                                     "Help Context: 0\r\n"
                                     "Help File: \r\n");
        QCOMPARE(m_home->errorLog().toUtf8(), expected);

        Clock::advance(60);
        ErrorLog::write(QStringLiteral("second"), QStringLiteral("two"));
        const QStringList added =
            QString::fromUtf8(m_home->errorLog().toUtf8().mid(expected.size()))
                .split(QStringLiteral("\r\n"));
        QCOMPARE(added.size(), 9);            // eight lines and the empty rest
        QVERIFY(!added.at(0).contains(when)); // the second record carries its own time
        QCOMPARE(added.at(1), QStringLiteral("Error Number: 0"));
        QCOMPARE(added.at(4), QStringLiteral("Calling Form: second"));
    }

    // Each row writes its records `rounds` times over (%1 in a text is the write's number),
    // then, an hour later, one different record.
    void repeatedFaultIsOneRecordAndACount_data()
    {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("secondsApart");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("countLine");
        const QString send = QStringLiteral("Could not send |CNAME| on connection %1");
        QTest::newRow("one fault, another connection each time")
            << QStringList{QStringLiteral("objTCP_ConnectionRequest")} << send << 5000 << 0 << 2
            << QStringLiteral("(repeated 4999 more times, the last at ");
        QTest::newRow("a single repeat") << QStringList{QStringLiteral("a")} << QStringLiteral("x")
                                         << 2 << 0 << 2 << QStringLiteral("(repeated once more");
        QTest::newRow("a lasting fault shows now and then")
            << QStringList{QStringLiteral("a")} << QStringLiteral("x") << 3
            << ErrorLog::RepeatReportSecs << 2 << QStringLiteral("(repeated once more");
        QTest::newRow("two faults taking turns")
            << QStringList{QStringLiteral("a"), QStringLiteral("b")} << QStringLiteral("x") << 3
            << 0 << 7 << QString();
        QTest::newRow("ever new faults")
            << QStringList{QStringLiteral("fault %1")} << QStringLiteral("x") << 5000 << 0
            << ErrorLog::RecordsPerHour + 1
            << QStringLiteral("(4800 further errors within the hour not recorded)");
    }
    void repeatedFaultIsOneRecordAndACount()
    {
        QFETCH(QStringList, labels);
        QFETCH(QString, description);
        QFETCH(int, rounds);
        QFETCH(int, secondsApart);
        QFETCH(int, records);
        QFETCH(QString, countLine);
        for (int i = 0; i < rounds; ++i) {
            for (const QString& label : labels) {
                const auto numbered = [i](const QString& t) {
                    return t.contains(QStringLiteral("%1")) ? t.arg(i) : t;
                };
                ErrorLog::write(numbered(label), numbered(description));
                Clock::advance(secondsApart);
            }
        }
        Clock::advance(3600);
        ErrorLog::write(QStringLiteral("end"), QStringLiteral("other"));

        const QString text = m_home->errorLog();
        QCOMPARE(text.count(QStringLiteral("Calling Form: ")), records);
        // The count comes before the next record.
        QVERIFY(text.lastIndexOf(QStringLiteral("Calling Form: end\r\n")) >
                std::max(text.lastIndexOf(QStringLiteral("Calling Form: fault")),
                         text.lastIndexOf(QStringLiteral("(repeated"))));
        if (countLine.isEmpty()) {
            QVERIFY(!text.contains(QStringLiteral("(repeated")));
        } else {
            QVERIFY2(text.contains(countLine), qPrintable(text.right(600)));
        }
        // However the faults come, the log stays far from megabytes.
        QVERIFY(text.size() < 64 * 1024);
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

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestErrorLog)
#include "tst_errorlog.moc"
