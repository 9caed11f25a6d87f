// SPDX-License-Identifier: Apache-2.0
#include "server/web/ownerpages.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

// Resources of a static library are registered by hand, outside any namespace.
static void registerPageResources()
{
    Q_INIT_RESOURCE(webpage);
}

namespace OwnerPages {

namespace {

constexpr int ChartWidth = 480;
constexpr int ChartHeight = 160;
constexpr int ChartTop = 8;
constexpr int ChartBase = 140;

QString esc(const QString& s)
{
    return s.toHtmlEscaped();
}

QString cell(const QString& text, bool number = false)
{
    return (number ? QStringLiteral("<td class=\"num\">") : QStringLiteral("<td>")) + esc(text) +
           QStringLiteral("</td>");
}

QString title(const OwnerSnapshot& s)
{
    return s.cafeName.trimmed().isEmpty() ? QStringLiteral("Cafe Console") : s.cafeName.trimmed();
}

QString atText(const OwnerSnapshot& s)
{
    return s.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The bar of one hour: its top and height in the chart's units.
struct Bar
{
    int y = ChartBase;
    int height = 0;
};

Bar barOf(const OwnerSnapshot& s, const OwnerSnapshot::Hour& h)
{
    Money top;
    for (const auto& x : s.hours) {
        top = std::max(top, x.billed);
    }
    Bar b;
    if (top.isZero() || !(Money() < h.billed)) {
        return b;
    }
    const qint64 span = ChartBase - ChartTop;
    // Integer arithmetic on the exact amounts: ten-thousandths scaled to the chart's height.
    b.height = int(std::max<qint64>(1, (h.billed.units() * span) / top.units()));
    b.y = ChartBase - b.height;
    return b;
}

// Every {{name}} of the template replaced in one pass: a value that holds braces itself (a
// cafe's name, a workstation's) is never taken for a placeholder.
QString fill(const QString& page, const QHash<QString, QString>& values)
{
    QString out;
    qsizetype from = 0;
    for (qsizetype open = page.indexOf(QLatin1String("{{")); open >= 0;
         open = page.indexOf(QLatin1String("{{"), from)) {
        const qsizetype close = page.indexOf(QLatin1String("}}"), open);
        if (close < 0) {
            break;
        }
        out += page.mid(from, open - from);
        out += values.value(page.mid(open + 2, close - open - 2));
        from = close + 2;
    }
    return out + page.mid(from);
}

QString barLabel(const OwnerSnapshot::Hour& h)
{
    return QStringLiteral("%1:00 %2").arg(h.hour, 2, 10, QLatin1Char('0')).arg(h.text);
}

} // namespace

QByteArray asset(const QString& name)
{
    static const bool registered = (registerPageResources(), true);
    Q_UNUSED(registered);
    QFile f(QStringLiteral(":/web/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray login(const QString& notice)
{
    return asset(QStringLiteral("login.html")).replace("{{notice}}", esc(notice).toUtf8());
}

QString chart(const OwnerSnapshot& s)
{
    const int n = std::max<int>(1, int(s.hours.size()));
    const int slot = ChartWidth / n;
    QString svg = QStringLiteral("<svg class=\"chart\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Billed per hour\">")
                      .arg(ChartWidth)
                      .arg(ChartHeight);
    svg += QStringLiteral("<line class=\"axis\" x1=\"0\" y1=\"%1\" x2=\"%2\" y2=\"%1\"/>")
               .arg(ChartBase)
               .arg(ChartWidth);
    for (int i = 0; i < s.hours.size(); ++i) {
        const auto& h = s.hours.at(i);
        const Bar b = barOf(s, h);
        svg += QStringLiteral("<rect class=\"bar\" id=\"bar%1\" x=\"%2\" y=\"%3\" width=\"%4\" "
                              "height=\"%5\"><title>%6</title></rect>")
                   .arg(h.hour)
                   .arg(i * slot + 2)
                   .arg(b.y)
                   .arg(slot - 4)
                   .arg(b.height)
                   .arg(esc(barLabel(h)));
        if (h.hour % 3 == 0) {
            svg += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text>")
                       .arg(i * slot + 2)
                       .arg(ChartHeight - 4)
                       .arg(h.hour);
        }
    }
    return svg + QStringLiteral("</svg>");
}

QByteArray overview(const OwnerSnapshot& s)
{
    QString stations;
    for (const auto& st : s.stations) {
        const QString cls = st.state == QLatin1String("Free") ? QStringLiteral("free")
                            : st.state == QLatin1String("Disconnected")
                                ? QStringLiteral("disconnected")
                                : QString();
        stations += QStringLiteral("<tr class=\"%1\">").arg(cls) + cell(st.name) + cell(st.state) +
                    cell(st.user) + cell(st.elapsed, true) + cell(st.charge, true) +
                    QStringLiteral("</tr>");
    }
    QString shifts;
    for (const auto& sh : s.shifts) {
        shifts += QStringLiteral("<tr>") + cell(sh.closed) + cell(sh.closedBy) +
                  cell(QString::number(sh.bills), true) + cell(sh.billed, true) +
                  cell(sh.expected, true) + cell(sh.counted, true) + cell(sh.difference, true) +
                  QStringLiteral("</tr>");
    }
    const QHash<QString, QString> values{{QStringLiteral("title"), esc(title(s))},
                                         {QStringLiteral("at"), esc(atText(s))},
                                         {QStringLiteral("billed"), esc(s.billedToday)},
                                         {QStringLiteral("received"), esc(s.receivedToday)},
                                         {QStringLiteral("bills"), QString::number(s.billsToday)},
                                         {QStringLiteral("openshift"), esc(s.openShiftBilled)},
                                         {QStringLiteral("chart"), chart(s)},
                                         {QStringLiteral("stations"), stations},
                                         {QStringLiteral("shifts"), shifts}};
    const QString page = fill(QString::fromUtf8(asset(QStringLiteral("overview.html"))), values);
    return page.toUtf8();
}

QByteArray json(const OwnerSnapshot& s)
{
    QJsonArray stations;
    for (const auto& st : s.stations) {
        stations.append(QJsonObject{{QStringLiteral("name"), st.name},
                                    {QStringLiteral("state"), st.state},
                                    {QStringLiteral("user"), st.user},
                                    {QStringLiteral("elapsed"), st.elapsed},
                                    {QStringLiteral("charge"), st.charge}});
    }
    QJsonArray hours;
    for (const auto& h : s.hours) {
        const Bar b = barOf(s, h);
        hours.append(QJsonObject{{QStringLiteral("hour"), h.hour},
                                 {QStringLiteral("amount"), h.text},
                                 {QStringLiteral("label"), barLabel(h)},
                                 {QStringLiteral("y"), b.y},
                                 {QStringLiteral("height"), b.height}});
    }
    QJsonArray shifts;
    for (const auto& sh : s.shifts) {
        shifts.append(QJsonObject{{QStringLiteral("closed"), sh.closed},
                                  {QStringLiteral("by"), sh.closedBy},
                                  {QStringLiteral("bills"), sh.bills},
                                  {QStringLiteral("billed"), sh.billed},
                                  {QStringLiteral("expected"), sh.expected},
                                  {QStringLiteral("counted"), sh.counted},
                                  {QStringLiteral("difference"), sh.difference}});
    }
    const QJsonObject o{{QStringLiteral("at"), atText(s)},
                        {QStringLiteral("billed"), s.billedToday},
                        {QStringLiteral("received"), s.receivedToday},
                        {QStringLiteral("bills"), s.billsToday},
                        {QStringLiteral("openShift"), s.openShiftBilled},
                        {QStringLiteral("hours"), hours},
                        {QStringLiteral("stations"), stations},
                        {QStringLiteral("shifts"), shifts}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace OwnerPages
