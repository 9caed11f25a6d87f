// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/reportcomposer.h"

#include "common/money.h"
#include "server/accounts/consolesettings.h"
#include "server/core/billbalance.h"
#include "server/core/database.h"

#include <QLocale>

namespace {

int digits(const QString& s, int from, int count, bool* ok)
{
    int n = 0;
    for (int i = from; i < from + count; ++i) {
        const ushort c = s.at(i).unicode();
        if (c < '0' || c > '9') {
            *ok = false;
            return 0;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

namespace {

// The stored form "yyyy-MM-dd HH:mm:ss" read by hand: lists print many thousands, and a local
// date-time would consult the time zone for each.
bool quickParts(const QVariant& v, QDate* date, QTime* time)
{
    if (v.typeId() != QMetaType::QString) {
        return false;
    }
    const QString s = v.toString();
    if (s.size() != 19 || s.at(4) != QLatin1Char('-') || s.at(7) != QLatin1Char('-') ||
        s.at(10) != QLatin1Char(' ') || s.at(13) != QLatin1Char(':') ||
        s.at(16) != QLatin1Char(':')) {
        return false;
    }
    bool ok = true;
    const QDate d(digits(s, 0, 4, &ok), digits(s, 5, 2, &ok), digits(s, 8, 2, &ok));
    const QTime t(digits(s, 11, 2, &ok), digits(s, 14, 2, &ok), digits(s, 17, 2, &ok));
    if (!ok || !d.isValid() || !t.isValid()) {
        return false;
    }
    *date = d;
    *time = t;
    return true;
}

bool storedParts(const QVariant& v, QDate* date, QTime* time)
{
    if (!v.isValid() || v.isNull()) {
        return false;
    }
    if (quickParts(v, date, time)) {
        return true;
    }
    const QDateTime t = ReportComposer::storedTime(v);
    if (!t.isValid()) {
        return false;
    }
    *date = t.date();
    *time = t.time();
    return true;
}

} // namespace

QDateTime ReportComposer::storedTime(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        return {};
    }
    if (v.typeId() == QMetaType::QDateTime) {
        return v.toDateTime();
    }
    QDate d;
    QTime t;
    if (quickParts(v, &d, &t)) {
        return QDateTime(d, t);
    }
    return Database::parseTime(v);
}

QString ReportComposer::numberText(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        return {};
    }
    return Money::fromVariant(v).toString();
}

QString ReportComposer::listTimeText(const QVariant& v)
{
    QDate date;
    QTime time;
    if (!storedParts(v, &date, &time)) {
        return {};
    }
    static thread_local QLocale cachedLocale;
    static thread_local QStringList months;
    static thread_local QString am;
    static thread_local QString pm;
    const QLocale locale;
    if (months.isEmpty() || !(locale == cachedLocale)) {
        cachedLocale = locale;
        months.clear();
        for (int m = 1; m <= 12; ++m) {
            months.append(locale.monthName(m, QLocale::ShortFormat));
        }
        am = locale.amText();
        pm = locale.pmText();
    }
    int hour = time.hour() % 12;
    if (hour == 0) {
        hour = 12;
    }
    QString out;
    out.reserve(16);
    out += QString::number(date.day());
    out += QLatin1Char('-');
    out += months.at(date.month() - 1);
    out += QLatin1Char(' ');
    if (hour < 10) {
        out += QLatin1Char('0');
    }
    out += QString::number(hour);
    out += QLatin1Char(':');
    if (time.minute() < 10) {
        out += QLatin1Char('0');
    }
    out += QString::number(time.minute());
    out += QLatin1Char(' ');
    out += time.hour() < 12 ? am : pm;
    return out;
}

QString ReportComposer::shortDateText(const QVariant& v)
{
    QDate date;
    QTime time;
    if (!storedParts(v, &date, &time)) {
        return {};
    }
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString ReportComposer::generalDateText(const QDateTime& t)
{
    if (!t.isValid()) {
        return {};
    }
    const QLocale locale;
    QString out = locale.toString(t.date(), QLocale::ShortFormat);
    if (t.time() != QTime(0, 0)) {
        // The long time form without a time zone, which a stored time does not carry.
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QLatin1Char('t'));
        out += QLatin1Char(' ') + locale.toString(t.time(), format.trimmed());
    }
    return out;
}

ReportDocument ReportComposer::composeBill(Database& db, qint64 billno)
{
    ReportDocument doc;
    const ConsoleSettings settings;
    const QString name = settings.cafeName();
    const QString address1 = settings.cafeAddress1();
    const QString address2 = settings.cafeAddress2();

    const auto bill = db.firstRow(QStringLiteral("SELECT * FROM history WHERE billno = ?"),
                                  {billno}, QStringLiteral("PrintBill"));
    if (!bill) {
        return doc;
    }
    const QList<QSqlRecord> jobs =
        db.rows(QStringLiteral("SELECT * FROM jobwork_details WHERE billno = ? ORDER BY rowid"),
                {billno}, QStringLiteral("PrintBill"));

    doc.setTableBorder(TableBorder::None);
    doc.setBold(true);
    for (const QString& line : {name, address1, address2, QStringLiteral(" ")}) {
        doc.addTableRow(QStringLiteral("^6000"), {}, {line});
    }
    doc.addTableRow(
        QStringLiteral("<3000|>3000"), {},
        {QStringLiteral("Bill No :") + bill->value(QStringLiteral("billno")).toString(),
         QStringLiteral("Bill Date :") + shortDateText(bill->value(QStringLiteral("send")))});
    doc.setBold(false);
    const QString duration = bill->value(QStringLiteral("duration")).toString();
    doc.addTableRow(
        QStringLiteral("<3000|>3000"), {},
        {QStringLiteral("Time Spent :") + duration,
         QStringLiteral("Category :") + bill->value(QStringLiteral("user")).toString()});
    doc.addParagraph(QString());
    doc.setTableBorder(TableBorder::All);

    const QString detailFormat = QStringLiteral("3000|>1500|>1500");
    const QString detailHeader = QStringLiteral("Details|Quantity|Amount|");
    const QVariant charge = bill->value(QStringLiteral("charge"));
    doc.addTableRow(detailFormat, detailHeader,
                    {QStringLiteral("Time Spent "), duration, numberText(charge)},
                    ReportDocument::HeaderShade);
    // The total is the exact sum of the amounts printed above it.
    Money total = Money::fromVariant(charge);
    for (const QSqlRecord& job : jobs) {
        const QVariant amount = job.value(QStringLiteral("amount"));
        doc.addTableRow(detailFormat, detailHeader,
                        {job.value(QStringLiteral("type")).toString(),
                         numberText(job.value(QStringLiteral("qty"))), numberText(amount)},
                        ReportDocument::HeaderShade, true);
        total += Money::fromVariant(amount);
    }
    doc.addTableRow(QStringLiteral(">4500|>1500"), {},
                    {QStringLiteral("Total : "), total.toString()});
    doc.addTableRow(
        QStringLiteral(">4500|>1500"), {},
        {QStringLiteral("Received :"), numberText(bill->value(QStringLiteral("received")))});
    const QVariant received = bill->value(QStringLiteral("received"));
    const QVariant net = bill->value(QStringLiteral("netamount"));
    doc.addTableRow(QStringLiteral(">4500|>1500"), {},
                    {QStringLiteral("Net Amount :"), numberText(net)});
    // What is left between the two printed above (nothing when they agree).
    const BillBalance balance =
        BillBalance::of(Money::fromVariant(net), Money::fromVariant(received));
    if (balance.kind != BillBalance::Kind::Settled) {
        doc.addTableRow(QStringLiteral(">4500|>1500"), {},
                        {balance.caption() + QStringLiteral(" :"), balance.amount.toString()});
    }
    return doc;
}

ReportDocument ReportComposer::composeHistoryList(const QString& title,
                                                  const QList<QSqlRecord>& rows)
{
    ReportDocument doc;
    const ConsoleSettings settings;
    doc.applyListPageSetup();
    doc.setTitle(title);
    doc.setTableBorder(TableBorder::None);
    doc.setBold(true);
    doc.setFontSize(12);
    doc.addTableRow(QStringLiteral("^9500"), {}, {settings.cafeName()});
    doc.setFontSize(10);
    doc.addTableRow(QStringLiteral("^9500"), {}, {title});
    doc.setBold(false);
    doc.setTableBorder(TableBorder::All);

    const QString format = QStringLiteral(">1000|>2000|>2000|>2000|>2000|>1500");
    const QString header =
        QStringLiteral("Bill No|Start Session| End Session |Terminal |User |Net Amount|");
    const QStringList names{QStringLiteral("billno"), QStringLiteral("sstart"),
                            QStringLiteral("send"),   QStringLiteral("terminal"),
                            QStringLiteral("user"),   QStringLiteral("netamount")};
    // Rows of one query share their columns; the positions are looked up again only when a
    // row's columns differ.
    int idx[6] = {-1, -1, -1, -1, -1, -1};
    const QSqlRecord* layout = nullptr;
    auto resolve = [&](const QSqlRecord& r) {
        bool same = layout != nullptr && layout->count() == r.count();
        for (int i = 0; same && i < 6; ++i) {
            same = idx[i] < 0 || r.fieldName(idx[i]).compare(names[i], Qt::CaseInsensitive) == 0;
        }
        if (!same) {
            for (int i = 0; i < 6; ++i) {
                idx[i] = r.indexOf(names[i]);
            }
            layout = &r;
        }
    };
    auto value = [&](const QSqlRecord& r, int i) {
        return idx[i] < 0 ? QVariant() : r.value(idx[i]);
    };

    Money total;
    // Bills paid from a ticket: the money came in when the ticket was sold (its own bill), so
    // it is shown apart and counted once.
    Money fromTickets;
    bool anyFromTickets = false;
    bool first = true;
    for (const QSqlRecord& r : rows) {
        resolve(r);
        const QVariant net = value(r, 5);
        const bool ticketPaid = !r.value(QStringLiteral("ticket")).toString().isEmpty();
        doc.addTableRow(format, header,
                        {value(r, 0).toString(), listTimeText(value(r, 1)),
                         listTimeText(value(r, 2)), value(r, 3).toString(), value(r, 4).toString(),
                         numberText(net)},
                        ReportDocument::HeaderShade, !first);
        first = false;
        if (ticketPaid) {
            anyFromTickets = true;
            fromTickets += Money::fromVariant(net);
        } else if (net.isValid() && !net.isNull()) {
            total += Money::fromVariant(net);
        }
    }
    doc.addTableRow(QStringLiteral(">9000|>1500"), {},
                    {QStringLiteral("Total : "), total.toString()});
    if (anyFromTickets) {
        doc.addTableRow(QStringLiteral(">9000|>1500"), {},
                        {QStringLiteral("Paid from tickets : "), fromTickets.toString()});
    }
    return doc;
}
