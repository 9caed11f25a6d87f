// SPDX-License-Identifier: Apache-2.0
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"
#include "server/sessions/ui/frmsessiondetails.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/refusedwrites.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <memory>

using Answer = Prompt::Answer;

class TestTariffEditor : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    std::unique_ptr<FrmSessionDetails> w;

    template <typename T> T* get(const char* name)
    {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        if (c == nullptr) {
            qFatal("control %s missing", name);
        }
        return c;
    }
    QTableWidget* grid() { return get<QTableWidget>("grdrate"); }
    QLineEdit* txtEdit() { return get<QLineEdit>("txtEdit"); }
    QPushButton* button(int i)
    {
        return get<QPushButton>(QStringLiteral("Command1(%1)").arg(i).toLatin1().constData());
    }
    QCheckBox* flathour(int i)
    {
        return get<QCheckBox>(QStringLiteral("flathour(%1)").arg(i).toLatin1().constData());
    }
    QString cell(int row, int column)
    {
        const QTableWidgetItem* item = grid()->item(row, column);
        return item ? item->text() : QString();
    }
    QStringList column(int c)
    {
        QStringList out;
        for (int r = 0; r < grid()->rowCount(); ++r) {
            out << cell(r, c);
        }
        return out;
    }

    void openWindow()
    {
        w = std::make_unique<FrmSessionDetails>(*m_db);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

    // Types a name into cmbusage and presses Enter, which loads it.
    void chooseName(const QString& name)
    {
        QLineEdit* edit = get<QComboBox>("cmbusage")->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, name);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // Types into one cell through the floating editor and commits with Enter.
    void typeCell(int row, int col, const QString& text)
    {
        grid()->setCurrentCell(row, col);
        QTest::keyClick(grid(), text.at(0).toLatin1());
        QVERIFY(txtEdit()->isVisible());
        QTest::keyClicks(txtEdit(), text.mid(1));
        QTest::keyClick(txtEdit(), Qt::Key_Return);
        QVERIFY(!txtEdit()->isVisible());
    }

    void typeRows(const QList<QPair<QString, QString>>& rows)
    {
        for (int r = 0; r < rows.size(); ++r) {
            typeCell(r, 0, rows[r].first);
            typeCell(r, 1, rows[r].second);
        }
    }

    // The standard rate rows typed into `name` and saved.
    void saveStandard(const QString& name)
    {
        chooseName(name);
        typeRows({{"15", "10"}, {"30", "15"}, {"60", "25"}});
        click(button(2));
    }

    void click(QAbstractButton* b)
    {
        QVERIFY(b->isEnabled());
        // Check boxes and option buttons take clicks on their box and caption only.
        const bool box = qobject_cast<QPushButton*>(b) == nullptr;
        QTest::mouseClick(b, Qt::LeftButton, {},
                          box ? QPoint(6, b->height() / 2) : b->rect().center());
    }

    int count(const QString& sql, const QVariantList& params = {})
    {
        return m_db->scalar(sql, params).toInt();
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        Prompt::setDefaultTitle(QStringLiteral("VK Server"));
        FrmSessionDetails::setCurrencyDigits(2);
        openWindow();
    }
    void cleanup()
    {
        w.reset();
        closeConsole();
    }

    void newNameShowsTemplate()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("Usage Details, Charge Setting"));
        QCOMPARE(grid()->columnCount(), 5);
        QStringList header;
        for (int c = 0; c < 5; ++c) {
            header << grid()->horizontalHeaderItem(c)->text();
        }
        QCOMPARE(header.join(u'|'),
                 QStringLiteral(
                     "Hour Slice    |    Rate Total   | Time Period |    Rate   | Rate per Min "));
        chooseName(QStringLiteral("Fresh"));
        QCOMPARE(column(0), (QStringList{"30", "45", "60"}));
        QCOMPARE(column(1), (QStringList{"", "", ""}));
        QCOMPARE(column(2), (QStringList{"15", "15", "15"}));
        QCOMPARE(column(3), (QStringList{"", "", ""}));
        QVERIFY(get<QRadioButton>("Option1(0)")->isChecked());
        QVERIFY(!flathour(2)->isChecked());

        // Saved without Rate Totals: the category exists with no rate rows.
        click(button(2));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save New Usage List"));
        QCOMPARE(
            count(QStringLiteral("SELECT count(*) FROM user_category WHERE \"user\" = 'Fresh'")),
            1);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist")), 0);
    }

    // Four decimals whatever the currency's step: rounded to it, a rate per minute would
    // give minutes away or charge more than the slice. (Two digits: saveAndReloadRoundTrip.)
    void recomputedColumns()
    {
        FrmSessionDetails::setCurrencyDigits(0);
        openWindow();
        chooseName(QStringLiteral("Standard"));
        typeRows({{"15", "10"}, {"30", "15"}, {"60", "25"}});
        QCOMPARE(column(2), (QStringList{"15", "15", "30"}));
        QCOMPARE(column(3), (QStringList{"10", "5", "10"}));
        QCOMPARE(column(4), (QStringList{"0.6667", "0.3333", "0.3333"}));
        // A refused slice reaches the cashier and leaves the row as it was; which slices are
        // refused is tst_tariffrules's.
        typeCell(2, 0, QStringLiteral("61"));
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Hour Slice Allways Less then 60")});
        QCOMPARE(cell(2, 0), QStringLiteral("60"));
    }

    // Saving, reloading and pricing agree, for both groups of settings.
    void saveAndReloadRoundTrip_data()
    {
        QTest::addColumn<bool>("byMinute");
        dataRow("by time period, minute after flat hour", false);
        dataRow("by one minute, minimum, total time", true);
    }

    void saveAndReloadRoundTrip()
    {
        QFETCH(bool, byMinute);
        chooseName(QStringLiteral("Gold"));
        QTest::keyClicks(get<QLineEdit>("txtdescription"), QStringLiteral("Gaming room"));
        typeRows({{"15", "10"}, {"30", "15"}, {"60", "25"}});
        click(flathour(0));
        auto* rate = get<QLineEdit>("txtflathour");
        rate->clear();
        QTest::keyClicks(rate, "20.5");
        get<QComboBox>("cmbflathour")->setCurrentIndex(2);
        if (byMinute) {
            click(get<QRadioButton>("Option1(1)"));
            click(get<QCheckBox>("chkmintime"));
            click(flathour(1));
        } else {
            click(flathour(2));
        }
        click(button(2));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save New Usage List"));

        // A fresh window shows exactly what was saved.
        openWindow();
        chooseName(QStringLiteral("gold"));
        QCOMPARE(get<QComboBox>("cmbusage")->currentText(), QStringLiteral("Gold"));
        QCOMPARE(get<QLineEdit>("txtdescription")->text(), QStringLiteral("Gaming room"));
        QCOMPARE(column(0), (QStringList{"15", "30", "60"}));
        QCOMPARE(column(1), (QStringList{"10", "15", "25"}));
        QCOMPARE(column(4), (QStringList{"0.6667", "0.3333", "0.3333"}));
        QVERIFY(flathour(0)->isChecked());
        QCOMPARE(flathour(1)->isChecked(), byMinute);
        QCOMPARE(flathour(2)->isChecked(), !byMinute);
        QCOMPARE(get<QLineEdit>("txtflathour")->text(), QStringLiteral("20.5"));
        QCOMPARE(get<QComboBox>("cmbflathour")->currentText(), QStringLiteral("03"));
        QCOMPARE(get<QRadioButton>("Option1(1)")->isChecked(), byMinute);
        QCOMPARE(get<QRadioButton>("Option1(0)")->isChecked(), !byMinute);
        QCOMPARE(get<QCheckBox>("chkmintime")->isChecked(), byMinute);

        // Saving it again unchanged stores the same tariff.
        const auto before = TariffStore(*m_db).find(QStringLiteral("Gold"));
        click(button(2));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save Modified Usage List"));
        const auto after = TariffStore(*m_db).find(QStringLiteral("Gold"));
        QVERIFY(before && after);
        QCOMPARE(after->rows, before->rows);
        QVERIFY(after->settings == before->settings);
        // 4:20 with 20.5 per hour after 3 hours; the 5 minutes into the 15-minute slice of 5
        // cost 1.67 on the bill.
        const Money price = calccharge(*m_db, QStringLiteral("Gold"), 4, 20, 0);
        QCOMPARE(price.rounded(2), Money::parse(byMinute ? u"93.67" : u"107.17"));
    }

    void saveExistingKeepsDescriptionAndSkipsEmptyRows()
    {
        chooseName(QStringLiteral("Std"));
        QTest::keyClicks(get<QLineEdit>("txtdescription"), QStringLiteral("Walk-in"));
        typeRows({{"15", "10"}, {"30", "15"}, {"60", "25"}});
        click(button(2));
        // The window says what was saved.
        QCOMPARE(get<QLabel>("lblstatus")->text(), QStringLiteral("Usage List Saved : Std"));
        chooseName(QStringLiteral("Std"));
        auto* desc = get<QLineEdit>("txtdescription");
        QCOMPARE(desc->text(), QStringLiteral("Walk-in"));
        desc->clear();
        QTest::keyClicks(desc, QStringLiteral("Changed"));
        typeCell(1, 1, QStringLiteral("0"));
        click(button(2));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save Modified Usage List"));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT Description FROM user_category")).toString(),
                 QStringLiteral("Walk-in"));
        // The row with Rate Total 0 was shown but not stored.
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist")), 2);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist WHERE timeslice = 30")), 0);
        // Answering No saves nothing.
        chooseName(QStringLiteral("Std"));
        typeCell(0, 1, QStringLiteral("12"));
        m_prompt->answerNext(Answer::No);
        click(button(2));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist WHERE Rate = 12")), 0);
    }

    // A save that fails half way leaves the old tariff whole and says so.
    void failedSaveKeepsOldTariff()
    {
        saveStandard(QStringLiteral("Std"));
        QVERIFY(refuseWrites(*m_db, QStringLiteral("INSERT"), QStringLiteral("ratelist"),
                             QStringLiteral("disk full"), QStringLiteral("NEW.Rate = 99")));
        chooseName(QStringLiteral("Std"));
        typeCell(0, 1, QStringLiteral("11"));
        typeCell(2, 1, QStringLiteral("99"));
        click(button(2));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("The usage list could not be saved."));
        const auto t = TariffStore(*m_db).find(QStringLiteral("Std"));
        QVERIFY(t);
        QCOMPARE(t->rows.size(), 3);
        QCOMPARE(t->rows[0].rate, Money::fromWhole(10));
        QCOMPARE(t->rows[2].rate, Money::fromWhole(25));
        QVERIFY(m_home->errorLog().contains(QStringLiteral("disk full")));
        // The edits stay on screen for another try.
        QCOMPARE(cell(0, 1), QStringLiteral("11"));
        QVERIFY(button(2)->isEnabled());
    }

    void addAndDeleteRateRows()
    {
        chooseName(QStringLiteral("Rows"));
        m_prompt->answerNext(Answer::No);
        click(button(4));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Add Rate Entry"));
        QCOMPARE(grid()->rowCount(), 3);
        click(button(4));
        QCOMPARE(grid()->rowCount(), 4);

        grid()->setCurrentCell(1, 1);
        m_prompt->answerNext(Answer::No);
        click(button(5));
        QCOMPARE(m_prompt->lastText(),
                 QStringLiteral("Do you want to Delete Rate List of hour slice : 45"));
        QCOMPARE(grid()->rowCount(), 4);
        click(button(5));
        QCOMPARE(column(0), (QStringList{"30", "60", ""}));
        // Time Period follows the rows that are left.
        QCOMPARE(cell(1, 2), QStringLiteral("30"));
        grid()->setCurrentCell(2, 0);
        click(button(5));
        grid()->setCurrentCell(0, 0);
        click(button(5));
        QCOMPARE(column(0), QStringList{"60"});

        // The last row stays, without a question.
        m_prompt->clear();
        click(button(5));
        QVERIFY(m_prompt->asked().isEmpty());
        QCOMPARE(grid()->rowCount(), 1);
    }

    void deleteCategoryAsksTwice_data()
    {
        QTest::addColumn<int>("yesCount");
        QTest::addColumn<QString>("use"); // what uses the category meanwhile
        QTest::addColumn<QString>("refusal");
        dataRow("no at the second", 1, QString(), QString());
        dataRow("yes at both", 2, QString(), QString());
        dataRow(
            "a session runs on it", 2,
            QStringLiteral("INSERT INTO terminals (terminal, \"user\") VALUES ('PC-01', ' old')"),
            QStringLiteral("A running session uses this usage list; end it first."));
        dataRow("a ticket has credit on it", 2,
                QStringLiteral("INSERT INTO tickets (code, category, credit) VALUES ('C', "
                               "'OLD', 2)"),
                QStringLiteral("Tickets with credit left use this usage list; it cannot be "
                               "deleted."));
    }

    void deleteCategoryAsksTwice()
    {
        QFETCH(int, yesCount);
        QFETCH(QString, use);
        QFETCH(QString, refusal);
        saveStandard(QStringLiteral("Old"));
        chooseName(QStringLiteral("Other"));
        typeCell(2, 1, QStringLiteral("30"));
        click(button(2));
        chooseName(QStringLiteral("Old"));
        if (!use.isEmpty()) {
            QVERIFY(m_db->run(use));
        }
        m_prompt->clear();
        for (int i = 0; i < 2; ++i) {
            m_prompt->answerNext(i < yesCount ? Answer::Yes : Answer::No);
        }
        click(button(1));
        const QStringList expected{
            QStringLiteral("Delete usage & Rate List :Old"),
            QStringLiteral(
                "Deleting the Usage list Removes all Its Rate list do you want to continue...")};
        const QStringList texts = m_prompt->texts();
        QCOMPARE(texts.mid(0, 2), expected.mid(0, qMin(yesCount + 1, 2)));
        QCOMPARE(texts.value(2), refusal);
        const bool deleted = yesCount == 2 && refusal.isEmpty();
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM user_category WHERE \"user\" = 'Old'")),
                 deleted ? 0 : 1);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist WHERE member = 'Old'")),
                 deleted ? 0 : 3);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist WHERE member = 'Other'")), 1);
        auto* name = get<QComboBox>("cmbusage");
        QCOMPARE(name->count(), deleted ? 1 : 2);
        // Nothing is left on screen that a Save could write back.
        QVERIFY(!deleted || !button(2)->isEnabled());
    }

    // The new-entry button leaves nothing that a Save could write over a category with.
    void newEntryClearsTheChoice()
    {
        saveStandard(QStringLiteral("Std"));
        chooseName(QStringLiteral("Std"));
        QTest::keyClicks(get<QLineEdit>("txtdescription"), QStringLiteral("Walk-in"));
        click(button(0));
        QCOMPARE(get<QLineEdit>("txtdescription")->text(), QString());
        QCOMPARE(grid()->rowCount(), 1);
        QVERIFY(!button(2)->isEnabled());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist")), 3);
    }

    void backAsksOnlyWithUnsavedEdits_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("leave");
        dataRow("nothing edited closes", false, true);
        dataRow("edited, leaving closes", true, true);
        dataRow("edited, staying keeps the edit", true, false);
    }
    void backAsksOnlyWithUnsavedEdits()
    {
        QFETCH(bool, edit);
        QFETCH(bool, leave);
        saveStandard(QStringLiteral("Std"));
        chooseName(QStringLiteral("Std"));
        m_prompt->clear();
        if (edit) {
            typeCell(1, 1, QStringLiteral("18"));
            m_prompt->answerNext(leave ? Answer::Yes : Answer::No);
        }
        click(button(3));
        QCOMPARE(m_prompt->texts(),
                 edit ? QStringList{QStringLiteral(
                            "Leave without saving the changes to the Usage List : Std")}
                      : QStringList{});
        QCOMPARE(w->isVisible(), !leave);
        if (!leave) {
            QCOMPARE(cell(1, 1), QStringLiteral("18"));
        }
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM ratelist WHERE Rate = 18")), 0);
        // The console ending closes the window itself: no question may hold the quit up.
        if (!leave) {
            m_prompt->clear();
            m_prompt->answerNext(Answer::No);
            QVERIFY(w->close());
            QCOMPARE(m_prompt->texts(), QStringList{});
            QVERIFY(!w->isVisible());
        }
    }
};

QTEST_MAIN(TestTariffEditor)
#include "tst_tariffeditor.moc"
