// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/tariffeditor.h"

#include "common/prompt.h"
#include "server/core/database.h"

namespace {

const QString InvalidEntry = QStringLiteral("Invalid Entry");
const Money SixtyMinutes = Money::fromWhole(60);

std::int64_t pow10(int n)
{
    std::int64_t p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

// a / b rounded once, halves to even, to `digits` decimals (rounding an already rounded
// four-decimal quotient again could land one step off).
Money quotient(Money a, Money b, int digits)
{
    __extension__ typedef __int128 Wide;
    if (b.isZero()) {
        return {};
    }
    digits = qBound(0, digits, 4);
    Wide n = Wide(a.units()) * pow10(digits);
    Wide d = b.units();
    if (d < 0) {
        n = -n;
        d = -d;
    }
    Wide q = n / d;
    Wide r = n % d;
    if (r < 0) {
        r = -r;
    }
    if (2 * r > d || (2 * r == d && (q % 2) != 0)) {
        q += n < 0 ? -1 : 1;
    }
    // An absurd total over a tiny slice saturates, like every other amount.
    const Wide units = q * pow10(4 - digits);
    return Money::fromUnits(std::int64_t(qBound<Wide>(-Money::MaxUnits, units, Money::MaxUnits)));
}

// Rate per Min keeps the full four decimals of the column, whatever the currency's step: in
// that step most rates per minute would round down (0.20 over 45 minutes is 0.0044, or 0.00
// to the cent) and per-minute pricing would give the minutes of a slice away, or round up and
// charge more than the slice's own rate. The charge is rounded once, at the end.
constexpr int PerMinuteDigits = 4;

struct Computed
{
    QString period;
    QString rate;
    QString perMinute;
};

// The computed cells of a row from its typed Hour Slice and Rate Total and those of the row it
// follows (none for the first row).
Computed compute(const QString& slice, const QString& total, const QString* aboveSlice,
                 const QString* aboveTotal)
{
    const Money s = Money::parse(slice);
    const Money t = Money::parse(total);
    if (aboveSlice == nullptr) {
        return {slice, total,
                s > Money{} ? quotient(t, s, PerMinuteDigits).toString() : QStringLiteral("0")};
    }
    const Money period = s - Money::parse(*aboveSlice);
    const Money rate = t - Money::parse(*aboveTotal);
    return {period.toString(), rate.toString(),
            period > Money{} ? quotient(rate, period, PerMinuteDigits).toString()
                             : QStringLiteral("0")};
}

QString hoursText(Money hours)
{
    return QStringLiteral("%1").arg(hours.rounded(0).units() / Money::Scale, 2, 10,
                                    QLatin1Char('0'));
}

} // namespace

const QString TariffEditor::HeaderFormat =
    QStringLiteral("Hour Slice    |    Rate Total   | Time Period |    Rate   | Rate per Min ");

QStringList TariffEditor::headerLabels()
{
    return HeaderFormat.split(u'|');
}

TariffEditor::TariffEditor(Database& db, int currencyDigits) : m_store(db), m_digits(currencyDigits)
{
    reset();
}

QStringList TariffEditor::categories() const
{
    return m_store.categories();
}

QString TariffEditor::cell(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= ColumnCount) {
        return {};
    }
    return m_rows[row].cells[std::size_t(column)];
}

void TariffEditor::setCurrent(int row, int column)
{
    m_currentRow = qBound(0, row, qMax(0, rowCount() - 1));
    m_currentColumn = qBound(0, column, ColumnCount - 1);
}

void TariffEditor::reset()
{
    m_c = Controls{};
    newEntry();
    applyFlatHourRule();
    applyOptionRule();
}

void TariffEditor::settled(const QString& status)
{
    m_edited = false;
    m_status = status;
}

bool TariffEditor::mayLeave() const
{
    if (!m_edited) {
        return true;
    }
    QString text = QStringLiteral("Leave without saving the changes to the Usage List");
    if (!m_name.isEmpty()) {
        text += QStringLiteral(" : ") + m_name;
    }
    return Prompt::yesNo(text, Prompt::defaultTitle(), Prompt::Icon::Question);
}

void TariffEditor::newEntry()
{
    // Nothing is chosen any more, so Save is off too: saving now would replace the
    // previous category's rates with the one empty row. The description goes with the
    // category it described.
    m_mode = Mode::None;
    m_name.clear();
    m_c.description.clear();
    settled();
    m_c.deleteCategoryEnabled = false;
    m_c.rowButtonsEnabled = false;
    m_c.saveEnabled = false;
    m_rows = {Row{}};
    setCurrent(0, HourSlice);
}

void TariffEditor::shade(int row)
{
    m_rows[row].shaded = true;
    setCurrent(row, HourSlice);
}

void TariffEditor::load(const QString& typed)
{
    const QString name = typed.trimmed();
    if (name.isEmpty()) {
        return;
    }
    m_c.minimum = false;
    m_c.rowButtonsEnabled = true;
    settled();
    const std::optional<Tariff> t = m_store.find(name);
    if (!t) {
        m_mode = Mode::New;
        m_name = name;
        m_rows.clear();
        for (const char* slice : {"30", "45", "60"}) {
            Row r;
            r.cells[HourSlice] = QString::fromLatin1(slice);
            r.cells[TimePeriod] = QStringLiteral("15");
            m_rows.append(r);
            shade(int(m_rows.size()) - 1);
        }
        setCurrent(0, HourSlice);
        m_c.minuteAfterFlat = false;
        m_c.byMinute = false;
        m_c.deleteCategoryEnabled = false;
        m_c.saveEnabled = true;
    } else {
        m_mode = Mode::Existing;
        m_name = t->name;
        m_c.saveEnabled = true;
        m_c.deleteCategoryEnabled = true;
        // The stored description, also when empty: another category's text must not stay.
        m_c.description = t->description;
        m_rows.clear();
        for (const RateRow& rr : t->rows) {
            Row r;
            r.cells[HourSlice] = rr.timeslice.toString();
            r.cells[RateTotal] = rr.rate.toString();
            m_rows.append(r);
        }
        if (m_rows.isEmpty()) {
            m_rows.append(Row{});
        }
        const TariffSettings& s = t->settings;
        m_c.flatHour = s.fhour;
        m_c.flatTotal = s.ftimespent;
        m_c.minuteAfterFlat = s.rateflathour;
        m_c.flatRate = s.fhourrate > Money{} ? s.fhourrate.toString() : QStringLiteral("00.00");
        m_c.flatHours = s.fhournos > Money{} ? hoursText(s.fhournos) : QStringLiteral("01");
        m_c.byMinute = s.chargebyminute;
        m_c.minimum = s.usefirsttimeperiod;
        setCurrent(0, RateTotal);
        recompute();
    }
    applyFlatHourRule();
    applyOptionRule();
}

bool TariffEditor::editCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount() || (column != HourSlice && column != RateTotal)) {
        return false;
    }
    QString& target = m_rows[row].cells[std::size_t(column)];
    if (column == HourSlice) {
        const Money v = Money::parse(text);
        QString refusal;
        if (v > SixtyMinutes) {
            refusal = QStringLiteral("Hour Slice Allways Less then 60");
        } else if (row > 0 && !(v > Money::parse(cell(row - 1, HourSlice)))) {
            refusal = QStringLiteral("Please Enter Hour Slice in Order");
        }
        if (!refusal.isEmpty()) {
            // The slice the operator had stays: a 0 in its place would read as a price.
            Prompt::message(refusal, InvalidEntry, Prompt::Icon::Critical);
            return false;
        }
    }
    if (target != text) {
        target = text;
        m_edited = true;
    }
    recompute();
    return true;
}

void TariffEditor::recompute()
{
    for (int i = 0; i < rowCount(); ++i) {
        Row& r = m_rows[i];
        const Row* above = i > 0 ? &m_rows[i - 1] : nullptr;
        const Computed c = compute(r.cells[HourSlice], r.cells[RateTotal],
                                   above ? &above->cells[HourSlice] : nullptr,
                                   above ? &above->cells[RateTotal] : nullptr);
        r.cells[TimePeriod] = c.period;
        r.cells[Rate] = c.rate;
        r.cells[RatePerMin] = c.perMinute;
    }
}

void TariffEditor::applyFlatHourRule()
{
    m_c.flatRateEnabled = m_c.flatHour;
    m_c.flatHoursEnabled = m_c.flatHour;
    m_c.flatTotalEnabled = m_c.flatHour;
}

void TariffEditor::applyOptionRule()
{
    m_c.minimumEnabled = m_c.byMinute;
    m_c.minuteAfterFlatEnabled = !m_c.byMinute;
}

void TariffEditor::setDescription(const QString& text)
{
    m_c.description = text;
    m_edited = true;
}

void TariffEditor::setFlatRate(const QString& text)
{
    m_edited = m_edited || text != m_c.flatRate;
    m_c.flatRate = text;
}

void TariffEditor::setFlatHours(const QString& text)
{
    m_edited = m_edited || text != m_c.flatHours;
    m_c.flatHours = text;
}

void TariffEditor::setFlatHour(bool on)
{
    m_edited = true;
    m_c.flatHour = on;
    applyFlatHourRule();
}

void TariffEditor::setFlatTotal(bool on)
{
    if (m_c.flatTotalEnabled) {
        m_c.flatTotal = on;
        m_edited = true;
    }
}

void TariffEditor::setMinuteAfterFlat(bool on)
{
    if (m_c.minuteAfterFlatEnabled) {
        m_c.minuteAfterFlat = on;
        m_edited = true;
    }
}

void TariffEditor::setByMinute(bool on)
{
    m_c.byMinute = on;
    m_edited = true;
    // Choosing the pricing clears one-minute-after-flat-hour either way. Loading a category
    // only applies the enabling, so its stored setting survives a load and a save.
    m_c.minuteAfterFlat = false;
    applyOptionRule();
}

void TariffEditor::setMinimum(bool on)
{
    if (m_c.minimumEnabled) {
        m_c.minimum = on;
        m_edited = true;
    }
}

bool TariffEditor::addRow()
{
    if (!m_c.rowButtonsEnabled || !Prompt::yesNo(QStringLiteral("Do you want to Add Rate Entry"),
                                                 Prompt::defaultTitle(), Prompt::Icon::Question)) {
        return false;
    }
    recompute();
    m_rows.append(Row{});
    shade(rowCount() - 1);
    m_edited = true;
    return true;
}

bool TariffEditor::deleteRow()
{
    if (!m_c.rowButtonsEnabled) {
        return false;
    }
    recompute();
    if (rowCount() <= 1) {
        return false;
    }
    const int row = m_currentRow;
    if (!Prompt::yesNo(QStringLiteral("Do you want to Delete Rate List of hour slice : ") +
                           cell(row, HourSlice),
                       Prompt::defaultTitle(), Prompt::Icon::Question)) {
        return false;
    }
    m_rows.removeAt(row);
    recompute();
    setCurrent(row, m_currentColumn);
    m_edited = true;
    return true;
}

QList<RateRow> TariffEditor::rowsToSave() const
{
    QList<RateRow> out;
    const Row* above = nullptr;
    for (const Row& r : m_rows) {
        RateRow rr;
        rr.timeslice = Money::parse(r.cells[HourSlice]);
        rr.rate = Money::parse(r.cells[RateTotal]);
        if (!(rr.timeslice > Money{}) || !(rr.rate > Money{})) {
            continue;
        }
        // Taken from the stored row before, not the grid row: pricing sees only stored rows,
        // and a rate per minute over a skipped row would price that slice against a total
        // that does not exist (the template's 30 and 45 left empty and 60 at 10 would charge
        // 20 for half an hour).
        const Computed c = compute(r.cells[HourSlice], r.cells[RateTotal],
                                   above ? &above->cells[HourSlice] : nullptr,
                                   above ? &above->cells[RateTotal] : nullptr);
        rr.tperiod = c.period;
        rr.rateslice = c.rate;
        rr.rpermin = Money::parse(c.perMinute);
        out.append(rr);
        above = &r;
    }
    return out;
}

QString TariffEditor::saveRefusal(const QList<RateRow>& rows)
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RateRow& r = rows[i];
        if (r.timeslice > SixtyMinutes) {
            return QStringLiteral("Hour Slice Allways Less then 60");
        }
        if (i == 0) {
            continue;
        }
        const RateRow& above = rows[i - 1];
        if (!(r.timeslice > above.timeslice)) {
            return QStringLiteral("Please Enter Hour Slice in Order : %1 before %2")
                .arg(above.timeslice.toString(), r.timeslice.toString());
        }
        if (r.rate < above.rate) {
            return QStringLiteral("Please Enter Rate Total in Order : %1 for %2 minutes is less "
                                  "than %3 for %4 minutes")
                .arg(r.rate.toString(), r.timeslice.toString(), above.rate.toString(),
                     above.timeslice.toString());
        }
    }
    if (!rows.isEmpty() && rows.last().timeslice != SixtyMinutes) {
        return QStringLiteral("The Last Hour Slice must be 60 : minutes after %1 would not be "
                              "charged")
            .arg(rows.last().timeslice.toString());
    }
    return {};
}

TariffSettings TariffEditor::settingsToSave() const
{
    TariffSettings s;
    s.fhour = m_c.flatHour;
    s.ftimespent = m_c.flatTotal;
    s.rateflathour = m_c.minuteAfterFlat;
    s.fhourrate = Money::parse(m_c.flatRate);
    s.fhournos = Money::parse(m_c.flatHours);
    s.chargebyminute = m_c.byMinute;
    s.usefirsttimeperiod = m_c.minimum;
    return s;
}

bool TariffEditor::save()
{
    if (!m_c.saveEnabled || m_mode == Mode::None || m_name.isEmpty()) {
        return false;
    }
    const QList<RateRow> rows = rowsToSave();
    if (const QString refusal = saveRefusal(rows); !refusal.isEmpty()) {
        Prompt::message(refusal, InvalidEntry, Prompt::Icon::Critical);
        return false;
    }
    const bool isNew = m_mode == Mode::New;
    if (!Prompt::yesNo(isNew ? QStringLiteral("Save New Usage List")
                             : QStringLiteral("Save Modified Usage List"),
                       QStringLiteral("Message"), Prompt::Icon::Question)) {
        return false;
    }
    if (!m_store.save(m_name, m_c.description, isNew, rows, settingsToSave())) {
        // The working copy stays on screen so the operator can try again; the stored tariff
        // is as it was before.
        Prompt::message(QStringLiteral("The usage list could not be saved."),
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return false;
    }
    const QString saved = m_name;
    newEntry();
    m_c.flatHoursEnabled = false;
    m_c.flatTotalEnabled = false;
    settled(QStringLiteral("Usage List Saved : ") + saved);
    return true;
}

bool TariffEditor::deleteCategory()
{
    if (!m_c.deleteCategoryEnabled || m_mode != Mode::Existing) {
        return false;
    }
    const QString title = QStringLiteral("Warning");
    if (!Prompt::yesNo(QStringLiteral("Delete usage & Rate List :") + m_name, title,
                       Prompt::Icon::Critical) ||
        !Prompt::yesNo(QStringLiteral("Deleting the Usage list Removes all Its Rate list do you "
                                      "want to continue..."),
                       title, Prompt::Icon::Critical)) {
        return false;
    }
    if (QString refusal; !m_store.remove(m_name, &refusal)) {
        Prompt::message(refusal.isEmpty() ? QStringLiteral("The usage list could not be deleted.")
                                          : refusal,
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return false;
    }
    newEntry();
    return true;
}
