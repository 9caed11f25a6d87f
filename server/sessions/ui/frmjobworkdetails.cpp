// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmjobworkdetails.h"

#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int QtyColumn = 2;
constexpr int NetColumn = 3;
} // namespace

FrmJobWorkDetails::FrmJobWorkDetails(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmjobworkdetails"));
    setWindowTitle(QStringLiteral("Job Work Details Entry"));
    setModal(true);

    m_grid = new QTableWidget(0, 4, this);
    m_grid->setObjectName(QStringLiteral("gdjob"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("Type") + QString(75, QLatin1Char(' ')), QStringLiteral("Amount       "),
         QStringLiteral("Quantity    "), QStringLiteral("Net Amount    ")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_editor = new GridCellEditor(m_grid, this);
    m_editor->setNumericColumn(QtyColumn);
    // Installed after the editor's own filter, so it sees the grid's keys first.
    m_grid->installEventFilter(this);

    m_total = new QLineEdit(QStringLiteral("0"), this);
    m_total->setObjectName(QStringLiteral("TxtTotal"));
    m_total->setReadOnly(true);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("cmdback"));
    back->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Total :"), this));
    bottom->addWidget(m_total);
    bottom->addStretch();
    bottom->addWidget(back);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);
    layout->addLayout(bottom);
    resize(640, 360);

    m_lines = JobWorkStore(m_db).lines();
    m_grid->setRowCount(int(m_lines.size()));
    for (int r = 0; r < m_lines.size(); ++r) {
        const auto& l = m_lines.at(r);
        m_grid->setItem(r, 0, new QTableWidgetItem(l.type));
        m_grid->setItem(r, 1, new QTableWidgetItem(l.amount.toString()));
        m_grid->setItem(r, QtyColumn, new QTableWidgetItem(l.qty));
        m_grid->setItem(r, NetColumn, new QTableWidgetItem(l.netAmount.toString()));
    }
    updateTotal();
    if (m_grid->rowCount() > 0) {
        m_grid->setCurrentCell(0, QtyColumn);
    }
    m_grid->setFocus();

    connect(m_editor, &GridCellEditor::cellCommitted, this, &FrmJobWorkDetails::lineCommitted);
    connect(back, &QPushButton::clicked, this, &QDialog::accept);
}

FrmJobWorkDetails::~FrmJobWorkDetails()
{
    // The editor goes first: its box would otherwise report to it while the grid is
    // half destroyed.
    delete m_editor;
}

bool FrmJobWorkDetails::eventFilter(QObject* watched, QEvent* event)
{
    // A key that is not part of a number still opens the quantity, with 0 in it.
    if (watched == m_grid && event->type() == QEvent::KeyPress && !m_editor->isOpen() &&
        m_grid->currentColumn() == QtyColumn && m_grid->currentRow() >= 0) {
        auto* k = static_cast<QKeyEvent*>(event);
        const QString text = k->text();
        if (!text.isEmpty() && text.front().unicode() > 32 &&
            !GridCellEditor::acceptsNumericKey(k) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            m_editor->open(m_grid->currentRow(), QtyColumn, QStringLiteral("0"));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmJobWorkDetails::lineCommitted(int row, int column, const QString& text)
{
    if (column != QtyColumn || row < 0 || row >= m_lines.size()) {
        return;
    }
    m_lines[row].qty = text;
    m_lines[row].netAmount = JobWorkStore::lineAmount(m_lines.at(row).amount, text);
    m_grid->item(row, NetColumn)->setText(m_lines.at(row).netAmount.toString());
    updateTotal();
}

void FrmJobWorkDetails::updateTotal()
{
    m_total->setText(total().toString());
}

Money FrmJobWorkDetails::total() const
{
    Money sum;
    for (const auto& l : m_lines) {
        sum += l.netAmount;
    }
    return sum;
}

void FrmJobWorkDetails::done(int result)
{
    if (!m_stored) {
        m_editor->commit();
        m_stored = true;
        JobWorkStore(m_db).storeQuantities(m_lines);
    }
    QDialog::done(result);
}
