// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/historyreport.h"
#include "server/accounts/ui/frmbillreprint.h"
#include "server/accounts/ui/frmrpthistory.h"
#include "server/accounts/ui/preview.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void fill(Database& db)
{
    // Bills 1..12 on three terminals and two categories.
    for (int n = 1; n <= 12; ++n) {
        QVERIFY(db.run(u"INSERT INTO history (billno, sstart, send, terminal, \"user\", duration, "
                       "charge, netamount, received) VALUES (?, '2026-03-07 10:00:00', "
                       "'2026-03-07 11:00:00', ?, ?, ' 1: 0: 0', 10, 10, 10)"_s,
                       {n, u"PC-%1"_s.arg(n % 3), n % 2 ? u"Regular"_s : u"Student"_s}));
    }
}

// The title of the list last shown, then its bill numbers.
QStringList shownList()
{
    const ReportDocument doc = Preview::lastDocument();
    QStringList out{doc.title()};
    for (const QStringList& r : doc.tableRows(2)) {
        out << r.at(0);
    }
    return out;
}

} // namespace

class TestHistoryReport : public QObject, public ConsoleFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        openConsole();
        Preview::setSkipModal(true);
        Preview::resetRecord();
    }
    void cleanup() { closeConsole(); }

    void billRangeChecksAndTitles_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("bills");
        dataRow("to below from", "5", "3", "Please Enter Valid Bill No", QStringList{});
        dataRow("from zero", "0", "3", "Please Enter the Bill No", QStringList{});
        dataRow("to not a number", "1", "abc", "Please Enter the Bill No", QStringList{});
        dataRow("single bill", "10", "10", "", QStringList{"10"});
        dataRow("numbers compare as numbers", "9", "11", "", QStringList{"9", "10", "11"});
        dataRow("nothing in range", "100", "200", "No History Details Found", QStringList{});
    }
    void billRangeChecksAndTitles()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        QFETCH(QStringList, bills);
        fill(*m_db);
        FrmRptHistory w(*m_db);
        QCOMPARE(w.windowTitle(), u"History Details"_s);
        child<QLineEdit>(w, u"txtbill_0"_s)->setText(from);
        child<QLineEdit>(w, u"txtbill_1"_s)->setText(to);
        child<QPushButton>(w, u"Cmdprint"_s)->click();
        if (!message.isEmpty()) {
            QCOMPARE(m_prompt->texts(), QStringList{message});
            QCOMPARE(m_prompt->asked().first().title, u"Message"_s);
            QCOMPARE(Preview::presentedCount(), 0);
            return;
        }
        QVERIFY(m_prompt->asked().isEmpty());
        QCOMPARE(shownList(),
                 QStringList{u"HISTORY DETAILS BETWEEN BILL NO From "_s + from + u" To "_s + to} +
                     bills);
    }

    void terminalAndCategoryLists()
    {
        FrmRptHistory w(*m_db);
        auto* terminal = child<QComboBox>(w, u"txtterminal"_s);
        auto* member = child<QComboBox>(w, u"txtmember"_s);
        auto* print = child<QPushButton>(w, u"Cmdprint"_s);

        // No history yet: Print asks for a terminal, or a usage type.
        child<QRadioButton>(w, u"Option_1"_s)->click();
        print->click();
        QCOMPARE(m_prompt->texts(), QStringList{u"Please Select the Terminal"_s});
        child<QRadioButton>(w, u"Option_2"_s)->click();
        print->click();
        QCOMPARE(m_prompt->lastText(), u"Please Select the Usage Type"_s);

        fill(*m_db);
        child<QRadioButton>(w, u"Option_0"_s)->click();
        child<QRadioButton>(w, u"Option_1"_s)->click();
        terminal->setCurrentIndex(terminal->findText(u"PC-1"_s));
        print->click();
        QCOMPARE(shownList(),
                 (QStringList{"HISTORY DETAILS OF THE TERMNAL : PC-1", "1", "4", "7", "10"}));

        child<QRadioButton>(w, u"Option_2"_s)->click();
        member->setCurrentIndex(member->findText(u"Student"_s));
        print->click();
        QCOMPARE(shownList(), (QStringList{"HISTORY DETAILS OF THE USER : Student", "2", "4", "6",
                                           "8", "10", "12"}));

        // The second member choice lists one member's sessions, or says there are none.
        child<QRadioButton>(w, u"Option_3"_s)->click();
        print->click();
        QCOMPARE(Preview::presentedCount(), 2);
        QCOMPARE(m_prompt->lastText(), u"No Member Sessions in the History"_s);
        QVERIFY(m_db->run(u"UPDATE history SET memberid = 'M7' WHERE billno IN (3, 9)"_s));
        QCOMPARE(HistoryReport::byMember(*m_db, QString()).message, u"Please Select the Member"_s);
        child<QRadioButton>(w, u"Option_0"_s)->click();
        child<QRadioButton>(w, u"Option_3"_s)->click();
        print->click();
        QCOMPARE(shownList(), (QStringList{"HISTORY DETAILS OF THE MEMBER : M7", "3", "9"}));
    }

    void billReprint_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("billLine");
        QTest::addColumn<QString>("button");
        dataRow("empty answer", "", "", "", "cmdok");
        dataRow("fraction of a bill number", "7.6", "Bill No Not found", "", "cmdok");
        dataRow("beyond 16 bits", "40000", "", "Bill No :40000", "cmdok");
        dataRow("cancelled", "7", "", "", "cmdcancel");
    }
    void billReprint()
    {
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QString, billLine);
        QFETCH(QString, button);
        fill(*m_db);
        QVERIFY(m_db->run(u"UPDATE history SET billno = 40000 WHERE billno = 12"_s));
        FrmBillReprint w(*m_db);
        QCOMPARE(w.windowTitle(), u"Bill Reprint"_s);
        child<QLineEdit>(w, u"txtbillno"_s)->setText(answer);
        child<QPushButton>(w, button)->click();
        QCOMPARE(m_prompt->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(Preview::presentedCount(), billLine.isEmpty() ? 0 : 1);
        if (!billLine.isEmpty()) {
            QCOMPARE(Preview::lastDocument().tableRows(4).at(0).at(0), billLine);
        }
    }
};

QTEST_MAIN(TestHistoryReport)
#include "tst_historyreport.moc"
