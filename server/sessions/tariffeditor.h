// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/tariffstore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class Database;

// The working copy of one usage category behind the tariff editor window, and every rule of
// that window: the rate grid with its checks and computed columns, the settings controls and
// what is enabled when, and adding, saving and deleting. The window only mirrors this state
// into its widgets and passes the operator's actions in. Questions and messages go through
// Prompt.
class TariffEditor
{
public:
    enum Column
    {
        HourSlice = 0,
        RateTotal,
        TimePeriod,
        Rate,
        RatePerMin,
        ColumnCount
    };
    // No category chosen yet, a name not stored yet, or a stored category.
    enum class Mode
    {
        None,
        New,
        Existing
    };

    struct Row
    {
        std::array<QString, ColumnCount> cells;
        bool shaded = false; // computed cells coloured as not typed into
    };

    // The settings controls: values and whether each is enabled.
    struct Controls
    {
        QString description;
        bool flatHour = false;        // flathour(0)
        bool flatTotal = false;       // flathour(1)
        bool minuteAfterFlat = false; // flathour(2)
        QString flatRate = QStringLiteral("00.00");
        QString flatHours = QStringLiteral("01");
        bool byMinute = false; // Option1(1); Option1(0) otherwise
        bool minimum = false;  // chkmintime

        bool flatRateEnabled = false;
        bool flatHoursEnabled = false;
        bool flatTotalEnabled = false;
        bool minuteAfterFlatEnabled = true;
        bool minimumEnabled = false;
        bool deleteCategoryEnabled = false;
        bool saveEnabled = false;
        bool rowButtonsEnabled = false;
    };

    static const QString HeaderFormat;
    static QStringList headerLabels();

    explicit TariffEditor(Database& db, int currencyDigits = 2);

    void setCurrencyDigits(int digits) { m_digits = digits; }
    int currencyDigits() const { return m_digits; }

    // Every category name, in table order (the list of cmbusage).
    QStringList categories() const;

    Mode mode() const { return m_mode; }
    // The category being edited (empty in Mode::None).
    QString name() const { return m_name; }
    const Controls& controls() const { return m_c; }
    const QList<Row>& rows() const { return m_rows; }
    int rowCount() const { return int(m_rows.size()); }
    QString cell(int row, int column) const;
    int currentRow() const { return m_currentRow; }
    int currentColumn() const { return m_currentColumn; }
    void setCurrent(int row, int column);

    // The state of a freshly opened window: nothing chosen, one empty row.
    void reset();
    // Command1(0): nothing chosen, no description; the grid back to one empty row.
    void newEntry();
    // Loads a stored category or, for a name not stored, prepares a new one with the
    // 30/45/60 template rows. An empty name changes nothing.
    void load(const QString& name);

    // The committed text of one cell (editgrid): Hour Slice is checked against 60 and the row
    // above; a refused value is said and the cell keeps what it held, and false is returned.
    // Other cells are taken as typed. The computed columns follow.
    bool editCell(int row, int column, const QString& text);
    // Time Period, Rate and Rate per Min of every row from the typed columns.
    void recompute();

    // Edits since the category was loaded, saved or deleted, or the entry cleared.
    bool hasUnsavedEdits() const { return m_edited; }
    // Back: true when the window may close; with unsaved edits only when the operator agrees
    // to leave them.
    bool mayLeave() const;
    // What the last action did, for the window to show ("" when nothing to tell).
    QString status() const { return m_status; }

    // The settings controls as the operator sets them; each applies its enabling rule.
    void setDescription(const QString& text);
    void setFlatHour(bool on);
    void setFlatTotal(bool on);
    void setMinuteAfterFlat(bool on);
    void setByMinute(bool on);
    void setMinimum(bool on);
    void setFlatRate(const QString& text);
    void setFlatHours(const QString& text);

    // Command1(4): asks, then appends a shaded row and makes it current.
    bool addRow();
    // Command1(5): asks, then removes the current row; the last row always stays.
    bool deleteRow();
    // Command1(2): refuses rows that would price wrongly (saveRefusal), else asks, then stores
    // the category and its rate rows at once.
    bool save();
    // Command1(1): asks twice, then deletes the category with its rate rows.
    bool deleteCategory();

    // The rows a save stores: those whose Hour Slice and Rate Total are above 0, their
    // computed columns taken against the stored row before.
    QList<RateRow> rowsToSave() const;
    // Why rate rows (as rowsToSave gives them) cannot be stored, or empty when they can. Longer
    // use must never cost less and no minute of an hour may fall outside every slice, so the
    // slices rise strictly up to a last one of 60 and the Rate Totals never fall. No rows at
    // all is allowed: the category is kept without a price.
    static QString saveRefusal(const QList<RateRow>& rows);
    TariffSettings settingsToSave() const;

private:
    void applyFlatHourRule();
    void applyOptionRule();
    void shade(int row);
    void settled(const QString& status = {});

    TariffStore m_store;
    int m_digits;
    Mode m_mode = Mode::None;
    QString m_name;
    Controls m_c;
    QList<Row> m_rows;
    int m_currentRow = 0;
    int m_currentColumn = 0;
    bool m_edited = false;
    QString m_status;
};
