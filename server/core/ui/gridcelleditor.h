// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTableWidget>

class QDateEdit;
class QKeyEvent;
class QLineEdit;
class QTableWidget;
class QValidator;
class QWidget;

// Edits the cells of a QTableWidget through one floating text box, `txtEdit`, laid over the
// current cell (or, for date columns, a date picker `dtpick`). The grid's horizontal header is
// its one fixed header row; data rows are the table's rows.
//
// A double-click or a key on an editable cell opens the editor: a control key or a space
// starts it with the cell's text, a printable key starts it with that character. Numeric
// columns hold only an amount (digits and one "."), however the text arrives: typed, pasted or
// dropped. In the editor Enter commits and returns to
// the grid, Escape hides it without writing, Up and Down commit and move one row (never past
// the first or last row). An open editor is also committed when the grid takes the focus
// back, when the grid's current cell changes and when the window is clicked. Committing only
// writes the cell and emits cellCommitted; the window decides what the text means.
class GridCellEditor : public QObject
{
    Q_OBJECT
public:
    // `window`, when given, is the window whose clicks commit an open editor.
    explicit GridCellEditor(QTableWidget* grid, QWidget* window = nullptr);
    ~GridCellEditor() override;

    void setColumnEditable(int column, bool editable = true);
    // A numeric column is editable and filters its keys.
    void setNumericColumn(int column, bool numeric = true);
    // A date column is editable through `dtpick`; the cell holds the date in `format`.
    void setDateColumn(int column, const QString& format = QStringLiteral("dd/MM/yyyy"));
    bool isColumnEditable(int column) const;
    bool isNumericColumn(int column) const { return m_numeric.contains(column); }
    bool isDateColumn(int column) const { return m_date.contains(column); }

    QTableWidget* grid() const { return m_grid; }
    QLineEdit* textEditor() const { return m_edit; }
    // Created by the first setDateColumn; nullptr before.
    QDateEdit* datePicker() const { return m_picker; }

    bool isOpen() const { return m_open; }
    int editRow() const { return m_row; }
    int editColumn() const { return m_column; }

    // Opens the editor over a cell with `text`, or with the cell's text when `text` is null.
    // False when the cell does not exist or its column is not editable.
    bool open(int row, int column, const QString& text = QString());
    // Writes an open editor's text into its cell and emits cellCommitted; false when closed.
    bool commit();
    // Hides an open editor without writing.
    void cancel();

    // Whether a key may start or go on typing an amount: digits, "." and keys that type
    // nothing (arrows, Home, Delete, Tab, Backspace).
    static bool acceptsNumericKey(const QKeyEvent* event);
    // Makes `widget` (a line edit or an editable combo box) hold only an amount, by any input
    // path.
    static void installNumericFilter(QWidget* widget);

Q_SIGNALS:
    void cellCommitted(int row, int column, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool gridKey(QKeyEvent* e);
    bool editorKey(QKeyEvent* e);
    void place();
    void hideEditors();
    void returnToGrid(int rowStep);
    QString cellText(int row, int column) const;

    QPointer<QTableWidget> m_grid;
    QPointer<QWidget> m_window;
    // Compared as plain objects: events still arrive while the grid or the window is being
    // destroyed, when it is no longer of its own type.
    QObject* m_gridObject = nullptr;
    QObject* m_windowObject = nullptr;
    QLineEdit* m_edit = nullptr;
    QDateEdit* m_picker = nullptr;
    QValidator* m_numericRule = nullptr;
    QSet<int> m_editable;
    QSet<int> m_numeric;
    QHash<int, QString> m_date;
    bool m_open = false;
    int m_row = -1;
    int m_column = -1;
};
