// SPDX-License-Identifier: Apache-2.0
#include "platform/localemoney.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

// With LOCPATH set, the C library's newlocale() drops its copy of the search path on every
// call; production never sets LOCPATH, the test must.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:__argz_add_sep\n";
}

// Locales are compiled into a private folder (LOCPATH), so the test does not depend on which
// ones the machine has installed.
class TestLocaleMoney : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        for (const char* name : {"ja_JP", "ar_KW", "en_IN"}) {
            const int rc = QProcess::execute(
                QStringLiteral("localedef"),
                {QStringLiteral("-i"), QString::fromLatin1(name), QStringLiteral("-f"),
                 QStringLiteral("UTF-8"),
                 m_locales.filePath(QString::fromLatin1(name) + QStringLiteral(".UTF-8"))});
            if (rc == 0) {
                m_built << QString::fromLatin1(name);
            }
        }
        qputenv("LOCPATH", m_locales.path().toLocal8Bit());
    }
    void cleanup()
    {
        qunsetenv("LC_ALL");
        qunsetenv("LC_MONETARY");
        qunsetenv("LANG");
    }

    void digitsFollowTheMonetaryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("grouping");
        QTest::newRow("yen has none") << "ja_JP" << 0 << "3;0";
        QTest::newRow("dinar has three") << "ar_KW" << 3 << "3;0";
        QTest::newRow("rupee groups by 3 then 2") << "en_IN" << 2 << "3;2;0";
    }
    void digitsFollowTheMonetaryLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, digits);
        QFETCH(QString, grouping);
        if (!m_built.contains(locale)) {
            QSKIP("localedef could not build the locale");
        }
        // LC_MONETARY alone decides, whatever LANG says, and the program's own locale is left
        // alone.
        const QByteArray before = std::setlocale(LC_MONETARY, nullptr);
        qputenv("LANG", "C");
        qputenv("LC_MONETARY", (locale + QStringLiteral(".UTF-8")).toLatin1());
        QCOMPARE(LocaleMoney::currencyDigits(), digits);
        QCOMPARE(QByteArray(std::setlocale(LC_MONETARY, nullptr)), before);
        const LocaleMoney::MonetaryFormat f = LocaleMoney::monetaryFormat();
        QCOMPARE(f.grouping, grouping);
        const QStringList list = LocaleMoney::regionalList();
        QCOMPARE(list.at(0), QStringLiteral(" Local curency symbol: ") + f.currencySymbol);
        QCOMPARE(list.at(4), QStringLiteral(" Number of digits behind the Decimal separator: ") +
                                 QString::number(digits));
        // LC_ALL overrides LC_MONETARY.
        qputenv("LC_ALL", "C");
        QCOMPARE(LocaleMoney::currencyDigits(), 2);
    }

    void cLocaleHasTwoDigitsAndEveryItemInOrder()
    {
        qputenv("LC_ALL", "C");
        QCOMPARE(LocaleMoney::monetaryFormat().grouping, QStringLiteral("0"));
        const QStringList list = LocaleMoney::regionalList();
        QCOMPARE(list.size(), 5 + 10);
        QCOMPARE(list.at(3), QStringLiteral(" Number of digits in group: 0"));
        QCOMPARE(list.at(4), QStringLiteral(" Number of digits behind the Decimal separator: 2"));
        // The locale's facts in words an owner reads, not the names of the system's constants.
        const QLocale system = QLocale::system();
        QStringList weekdays;
        for (int day = 1; day <= 7; ++day) {
            weekdays << system.dayName(day);
        }
        const QString first = QStringLiteral(" First day of the week: ");
        QVERIFY2(list.at(5).startsWith(first) && weekdays.contains(list.at(5).mid(first.size())),
                 qPrintable(list.at(5)));
        for (const QString& item : list.mid(5)) {
            QVERIFY2(!item.contains(QStringLiteral("LOCALE_")), qPrintable(item));
            QVERIFY2(!item.endsWith(QStringLiteral(": ")), qPrintable(item));
        }
        // An unknown locale falls back to two as well.
        qputenv("LC_ALL", "xx_NOWHERE.UTF-8");
        QCOMPARE(LocaleMoney::currencyDigits(), 2);
    }

private:
    QTemporaryDir m_locales;
    QStringList m_built;
};

QTEST_GUILESS_MAIN(TestLocaleMoney)
#include "tst_localemoney.moc"
