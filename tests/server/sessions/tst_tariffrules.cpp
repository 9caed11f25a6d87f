// SPDX-License-Identifier: Apache-2.0
// The tariff's own rules, driven without a window: which rate rows a save refuses, and how
// the rate per minute it stores prices.

#include "server/core/database.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffeditor.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QTest>

class TestTariffRules : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    // A new category's three template rows, typed over top-down as the operator does.
    static void type(TariffEditor& editor, const QString& name, const QStringList& slices,
                     const QStringList& totals)
    {
        editor.load(name);
        QCOMPARE(editor.rowCount(), int(slices.size()));
        for (int r = 0; r < slices.size(); ++r) {
            QVERIFY(editor.editCell(r, TariffEditor::HourSlice, slices[r]));
            QVERIFY(editor.editCell(r, TariffEditor::RateTotal, totals[r]));
        }
    }

    int count(const QString& sql) { return m_db->scalar(sql).toInt(); }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    // A save refuses rows by which longer use would cost less or minutes would go unpriced,
    // however the operator got there; the working copy stays for mending.
    void saveRefusesRowsThatPriceWrongly_data()
    {
        QTest::addColumn<QStringList>("slices"); // typed top-down, as the operator does
        QTest::addColumn<QStringList>("totals");
        QTest::addColumn<int>("editRow"); // then this row's Hour Slice retyped, unless -1
        QTest::addColumn<QString>("editSlice");
        QTest::addColumn<QString>("message"); // empty: saved
        const QStringList slices{"15", "30", "60"};
        const QStringList totals{"10", "15", "25"};
        dataRow("valid", slices, totals, -1, "", "");
        dataRow("equal totals", slices, QStringList{"10", "10", "25"}, -1, "", "");
        dataRow("rows without a total skipped", QStringList{"30", "45", "60"},
                QStringList{"", "", "10"}, -1, "", "");
        dataRow("no totals at all", QStringList{"30", "45", "60"}, QStringList{"", "", ""}, -1, "",
                "");
        const QString huge = QStringLiteral("99999999999999999999");
        dataRow("absurd total over a tiny slice", QStringList{"0.0001", "30", "60"},
                QStringList{huge, huge, huge}, -1, "", "");
        dataRow("earlier row edited past the next", slices, totals, 0, "45",
                "Please Enter Hour Slice in Order : 45 before 30");
        dataRow("equal minutes", slices, totals, 0, "30",
                "Please Enter Hour Slice in Order : 30 before 30");
        dataRow("falling totals", slices, QStringList{"10", "15", "12"}, -1, "",
                "Please Enter Rate Total in Order : 12 for 60 minutes "
                "is less than 15 for 30 minutes");
        dataRow("last slice short of 60", QStringList{"15", "30", "45"}, totals, -1, "",
                "The Last Hour Slice must be 60 : minutes after 45 would not be charged");
        dataRow("the 60 row without a total", slices, QStringList{"10", "15", ""}, -1, "",
                "The Last Hour Slice must be 60 : minutes after 30 would not be charged");
    }

    void saveRefusesRowsThatPriceWrongly()
    {
        QFETCH(QStringList, slices);
        QFETCH(QStringList, totals);
        QFETCH(int, editRow);
        QFETCH(QString, editSlice);
        QFETCH(QString, message);
        TariffEditor editor(*m_db);
        type(editor, QStringLiteral("Check"), slices, totals);
        if (editRow >= 0) {
            QVERIFY(editor.editCell(editRow, TariffEditor::HourSlice, editSlice));
        }
        for (int r = 0; message.isEmpty() && r < editor.rowCount(); ++r) {
            QVERIFY(!Money::parse(editor.cell(r, TariffEditor::RatePerMin)).isNegative());
        }
        m_prompt->clear();
        QCOMPARE(editor.save(), message.isEmpty());
        const int stored = count(QStringLiteral("SELECT count(*) FROM user_category"));
        if (message.isEmpty()) {
            QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Save New Usage List")});
            QCOMPARE(stored, 1);
        } else {
            QCOMPARE(m_prompt->texts(), QStringList{message});
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Invalid Entry"));
            QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Critical);
            QCOMPARE(stored, 0);
            QCOMPARE(editor.mode(), TariffEditor::Mode::New);
            QCOMPARE(editor.cell(2, TariffEditor::RateTotal), totals[2]);
        }
    }

    // A slice typed out of order or past the hour is refused as it is typed, and the row keeps
    // the slice it had with nothing recomputed. Slices compare as numbers: 5 then 10 is in order.
    void sliceRefusedAsTyped_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: taken
        dataRow("60 accepted", 2, "60", "");
        dataRow("61 refused", 2, "61", "Hour Slice Allways Less then 60");
        dataRow("equal to the row above", 1, "5", "Please Enter Hour Slice in Order");
        dataRow("numeric order", 1, "100", "Hour Slice Allways Less then 60");
    }
    void sliceRefusedAsTyped()
    {
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        TariffEditor editor(*m_db);
        type(editor, QStringLiteral("Check"), {"5", "10", "59"}, {"10", "15", "25"});
        QVERIFY(m_prompt->asked().isEmpty());
        QCOMPARE(editor.cell(1, TariffEditor::TimePeriod), QStringLiteral("5"));
        const QString sliceBefore = editor.cell(row, TariffEditor::HourSlice);
        const QString periodBefore = editor.cell(row, TariffEditor::TimePeriod);
        QCOMPARE(editor.editCell(row, TariffEditor::HourSlice, typed), message.isEmpty());
        QCOMPARE(m_prompt->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(editor.cell(row, TariffEditor::HourSlice),
                 message.isEmpty() ? typed : sliceBefore);
        if (!message.isEmpty()) {
            QCOMPARE(editor.cell(row, TariffEditor::TimePeriod), periodBefore);
        }
    }

    // What each control enables, and that a control not enabled changes nothing stored; the
    // window only mirrors these flags.
    void enablingRules()
    {
        TariffEditor e(*m_db);
        const TariffEditor::Controls& c = e.controls();
        QVERIFY(!e.save() && !c.saveEnabled && !c.deleteCategoryEnabled && !c.rowButtonsEnabled);
        e.load(QStringLiteral("Rules"));
        QVERIFY(c.saveEnabled && c.rowButtonsEnabled && !c.deleteCategoryEnabled);
        QVERIFY(!c.flatRateEnabled && !c.flatHoursEnabled && !c.flatTotalEnabled);
        e.setFlatTotal(true);
        e.setMinimum(true);
        QVERIFY(!c.flatTotal && !c.minimum && !c.minimumEnabled);
        e.setFlatHour(true);
        QVERIFY(c.flatRateEnabled && c.flatHoursEnabled && c.flatTotalEnabled);
        e.setFlatHour(false);
        QVERIFY(!c.flatRateEnabled && !c.flatHoursEnabled && !c.flatTotalEnabled);
        // By one Minute takes back "minute after the flat hours": both would price the minutes.
        e.setMinuteAfterFlat(true);
        QVERIFY(c.minuteAfterFlat);
        e.setByMinute(true);
        QVERIFY(c.minimumEnabled && !c.minuteAfterFlatEnabled && !c.minuteAfterFlat);
        e.setMinuteAfterFlat(true);
        QVERIFY(!c.minuteAfterFlat);
        e.setByMinute(false);
        QVERIFY(!c.minimumEnabled && c.minuteAfterFlatEnabled);
        QVERIFY(e.save());
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Message"));
        QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Question);
        QVERIFY(!c.saveEnabled && !c.flatHoursEnabled && !c.flatTotalEnabled);
        QCOMPARE(e.status(), QStringLiteral("Usage List Saved : Rules"));
        e.load(QStringLiteral("rules"));
        QVERIFY(c.saveEnabled && c.deleteCategoryEnabled);
        QVERIFY(e.deleteCategory());
        for (const auto& a : m_prompt->asked().mid(m_prompt->asked().size() - 2)) {
            QCOMPARE(a.title, QStringLiteral("Warning"));
            QCOMPARE(a.icon, Prompt::Icon::Critical);
        }
        QVERIFY(!c.deleteCategoryEnabled && !c.rowButtonsEnabled && !e.addRow());
    }

    // Per-minute pricing charges every minute, whatever the currency's step: each price is
    // within a hundredth of the exact one and, in the currency's step, never falls as the
    // minutes grow. Rows without a total are left out of the rate per minute as they are out
    // of pricing.
    void perMinuteChargesEveryMinute_data()
    {
        QTest::addColumn<int>("digits");
        QTest::addColumn<QStringList>("slices");
        QTest::addColumn<QStringList>("totals");
        dataRow("small rates", 0, QStringList{"15", "30", "60"}, QStringList{"10", "15", "25"});
        dataRow("large rates", 0, QStringList{"15", "30", "60"}, QStringList{"100", "150", "200"});
        dataRow("one unit over half an hour", 0, QStringList{"10", "30", "60"},
                QStringList{"3", "4", "5"});
        dataRow("only the hour priced", 0, QStringList{"30", "45", "60"},
                QStringList{"", "", "10"});
        // 0.20 over 45 minutes is 0.0044 a minute: to the cent, minutes 16 to 59 were free.
        dataRow("cents, a small second slice", 2, QStringList{"15", "30", "60"},
                QStringList{"0.50", "", "0.70"});
    }

    void perMinuteChargesEveryMinute()
    {
        QFETCH(int, digits);
        QFETCH(QStringList, slices);
        QFETCH(QStringList, totals);
        TariffEditor editor(*m_db, digits);
        type(editor, QStringLiteral("Yen"), slices, totals);
        QList<std::pair<qint64, qint64>> priced{{0, 0}}; // (minutes, units), from nothing
        for (int r = 0; r < slices.size(); ++r) {
            if (!totals[r].isEmpty()) {
                priced.append({slices[r].toLongLong(), Money::parse(totals[r]).units()});
            }
        }
        editor.setByMinute(true);
        QVERIFY(editor.save());
        Money before;
        for (int minute = 1; minute < 60; ++minute) {
            qsizetype k = 1;
            while (priced[k].first < minute) {
                ++k;
            }
            // The exact price is numerator / period units.
            const auto [s0, t0] = priced[k - 1];
            const auto [s1, t1] = priced[k];
            const qint64 period = s1 - s0;
            const qint64 numerator = t0 * period + (minute - s0) * (t1 - t0);
            const Money charge = calccharge(*m_db, QStringLiteral("Yen"), 0, minute, 0);
            QVERIFY2(
                qAbs(charge.units() * period - numerator) <= 100 * period,
                qPrintable(QStringLiteral("%1 minutes: %2").arg(minute).arg(charge.toString())));
            QVERIFY(charge.rounded(digits) >= before);
            before = charge.rounded(digits);
        }
    }
};

QTEST_GUILESS_MAIN(TestTariffRules)
#include "tst_tariffrules.moc"
