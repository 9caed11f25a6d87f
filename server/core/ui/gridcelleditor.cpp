// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/gridcelleditor.h"

#include "common/clock.h"
#include "common/ui/numericinput.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableWidget>

namespace {

bool isControlChar(QChar c)
{
    return c.unicode() <= 32 || c.unicode() == 127;
}

} // namespace

GridCellEditor::GridCellEditor(QTableWidget* grid, QWidget* window)
    : QObject(grid), m_grid(grid), m_window(window), m_gridObject(grid), m_windowObject(window)
{
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_edit = new QLineEdit(m_grid->viewport());
    m_edit->setObjectName(QStringLiteral("txtEdit"));
    m_edit->setFrame(false);
    m_edit->setFont(m_grid->font());
    m_edit->hide();
    m_edit->installEventFilter(this);
    m_numericRule = NumericInput::validator(NumericInput::Kind::Amount, m_edit);

    // Rows at least as tall as the box, so it never hides the rows around the cell.
    const int h = m_edit->sizeHint().height();
    QHeaderView* rows = m_grid->verticalHeader();
    rows->setMinimumSectionSize(qMax(rows->minimumSectionSize(), h));
    rows->setDefaultSectionSize(qMax(rows->defaultSectionSize(), h));

    m_grid->installEventFilter(this);
    if (m_window) {
        m_window->installEventFilter(this);
    }
    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int column) { open(row, column); });
    connect(m_grid, &QTableWidget::currentCellChanged, this, [this] { commit(); });
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { place(); });
    connect(m_grid->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { place(); });
}

GridCellEditor::~GridCellEditor()
{
    if (m_window) {
        m_window->removeEventFilter(this);
    }
}

void GridCellEditor::setColumnEditable(int column, bool editable)
{
    if (editable) {
        m_editable.insert(column);
    } else {
        m_editable.remove(column);
        m_numeric.remove(column);
        m_date.remove(column);
    }
}

void GridCellEditor::setNumericColumn(int column, bool numeric)
{
    if (numeric) {
        m_editable.insert(column);
        m_numeric.insert(column);
    } else {
        m_numeric.remove(column);
    }
}

void GridCellEditor::setDateColumn(int column, const QString& format)
{
    m_editable.insert(column);
    m_numeric.remove(column);
    m_date.insert(column, format);
    if (m_picker == nullptr) {
        m_picker = new QDateEdit(m_grid->viewport());
        m_picker->setObjectName(QStringLiteral("dtpick"));
        m_picker->setCalendarPopup(true);
        m_picker->setFont(m_grid->font());
        m_picker->hide();
        m_picker->installEventFilter(this);
    }
}

bool GridCellEditor::isColumnEditable(int column) const
{
    return m_editable.contains(column);
}

QString GridCellEditor::cellText(int row, int column) const
{
    const QTableWidgetItem* item = m_grid->item(row, column);
    return item ? item->text() : QString();
}

bool GridCellEditor::open(int row, int column, const QString& text)
{
    if (!m_grid || row < 0 || column < 0 || row >= m_grid->rowCount() ||
        column >= m_grid->columnCount() || !isColumnEditable(column)) {
        return false;
    }
    if (m_open && (row != m_row || column != m_column)) {
        commit();
    }
    m_row = row;
    m_column = column;
    m_open = true;
    const QString start = text.isNull() ? cellText(row, column) : text;
    if (isDateColumn(column)) {
        const QString format = m_date.value(column);
        m_picker->setDisplayFormat(format);
        QDate d = QDate::fromString(start.trimmed(), format);
        if (!d.isValid()) {
            d = Clock::now().date();
        }
        m_picker->setDate(d);
        place();
        m_picker->show();
        m_picker->raise();
        m_picker->setFocus();
    } else {
        m_edit->setValidator(isNumericColumn(column) ? m_numericRule : nullptr);
        m_edit->setText(start);
        m_edit->setCursorPosition(int(start.size()));
        place();
        m_edit->show();
        m_edit->raise();
        m_edit->setFocus();
    }
    return true;
}

void GridCellEditor::place()
{
    if (!m_open || !m_grid) {
        return;
    }
    const QRect r = m_grid->visualRect(m_grid->model()->index(m_row, m_column));
    QWidget* w = isDateColumn(m_column) ? static_cast<QWidget*>(m_picker) : m_edit;
    w->setGeometry(r.x(), r.y(), r.width(), qMax(r.height(), w->sizeHint().height()));
}

bool GridCellEditor::commit()
{
    if (!m_open || !m_grid) {
        return false;
    }
    // Closed before anything else runs: whatever the commit triggers (a message box taking
    // the focus and giving it back to the grid) finds no open editor.
    m_open = false;
    const QString text =
        isDateColumn(m_column) ? m_picker->date().toString(m_date.value(m_column)) : m_edit->text();
    hideEditors();
    if (m_row >= m_grid->rowCount() || m_column >= m_grid->columnCount()) {
        return false;
    }
    QTableWidgetItem* item = m_grid->item(m_row, m_column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        m_grid->setItem(m_row, m_column, item);
    }
    item->setText(text);
    Q_EMIT cellCommitted(m_row, m_column, text);
    return true;
}

void GridCellEditor::cancel()
{
    if (!m_open) {
        return;
    }
    m_open = false;
    hideEditors();
}

void GridCellEditor::hideEditors()
{
    // The focus goes back to the grid before the editor hides: a focused child that hides
    // passes the focus on through the view, which would move the current cell.
    const bool focused = m_edit->hasFocus() || (m_picker != nullptr && m_picker->hasFocus());
    if (focused) {
        m_grid->setFocus();
    }
    m_edit->hide();
    if (m_picker) {
        m_picker->hide();
    }
}

bool GridCellEditor::acceptsNumericKey(const QKeyEvent* e)
{
    const QString text = e->text();
    if (text.isEmpty() || e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab ||
        e->key() == Qt::Key_Delete || e->key() == Qt::Key_Escape) {
        return true;
    }
    if (e->key() == Qt::Key_Backspace) {
        return true;
    }
    return NumericInput::accepts(NumericInput::Kind::Amount, text);
}

void GridCellEditor::installNumericFilter(QWidget* widget)
{
    NumericInput::install(widget, NumericInput::Kind::Amount);
}

void GridCellEditor::returnToGrid(int rowStep)
{
    const int column = m_column;
    const int row = m_row + rowStep;
    // The grid taking the focus commits too; committing first makes the edit land even where
    // no active window hands the focus over.
    commit();
    m_grid->setFocus();
    if (rowStep != 0 && m_grid->rowCount() > 0) {
        m_grid->setCurrentCell(qBound(0, row, m_grid->rowCount() - 1), column);
    }
}

bool GridCellEditor::editorKey(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        returnToGrid(0);
        return true;
    case Qt::Key_Escape:
        cancel();
        m_grid->setFocus();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (isDateColumn(m_column)) {
            return false; // the picker steps its date with the arrows
        }
        returnToGrid(e->key() == Qt::Key_Up ? -1 : 1);
        return true;
    default:
        break;
    }
    return false;
}

bool GridCellEditor::gridKey(QKeyEvent* e)
{
    const int row = m_grid->currentRow();
    const int column = m_grid->currentColumn();
    const QString text = e->text();
    if (row < 0 || column < 0 || !isColumnEditable(column) || text.isEmpty() ||
        e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab ||
        (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return false;
    }
    const QChar c = text.front();
    if (isControlChar(c) || isDateColumn(column)) {
        open(row, column);
        return true;
    }
    if (isNumericColumn(column) && !acceptsNumericKey(e)) {
        return true;
    }
    open(row, column, text);
    return true;
}

bool GridCellEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_gridObject) {
        if (event->type() == QEvent::KeyPress) {
            return gridKey(static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::FocusIn) {
            commit();
        } else if (event->type() == QEvent::Resize) {
            place();
        }
        return false;
    }
    if (watched == m_edit || (m_picker != nullptr && watched == m_picker)) {
        if (event->type() == QEvent::KeyPress && m_open) {
            return editorKey(static_cast<QKeyEvent*>(event));
        }
        return false;
    }
    if (watched == m_windowObject && event->type() == QEvent::MouseButtonPress) {
        commit();
    }
    return false;
}
