// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmcusttran.h"

#include "common/clock.h"
#include "server/accounts/ui/formhelpers.h"
#include "server/core/ui/gridcelleditor.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using FormHelpers::indexed;

FrmCustTran::FrmCustTran(Database& db, QWidget* parent) : QDialog(parent), m_ledger(db, this)
{
    setObjectName(QStringLiteral("frmcusttran"));
    setWindowTitle(QStringLiteral("Member Transactions Details"));
    resize(760, 480);

    m_ids = new QComboBox(this);
    m_ids->setObjectName(QStringLiteral("cmbfield"));
    m_ids->setEditable(true);
    m_ids->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < 3; ++i) {
        m_boxes[i] = new QLineEdit(this);
        m_boxes[i]->setObjectName(indexed("txtfield", i));
        m_boxes[i]->setReadOnly(true);
    }
    m_ob = new QLineEdit(this);
    m_ob->setObjectName(QStringLiteral("txtob"));
    // The opening balance is set in the member register; here it only starts the balances.
    m_ob->setReadOnly(true);
    auto* form = new QFormLayout;
    auto* idLabel = new QLabel(QStringLiteral("&Member Id"), this);
    idLabel->setBuddy(m_ids);
    form->addRow(idLabel, m_ids);
    form->addRow(QStringLiteral(" Name"), m_boxes[0]);
    form->addRow(QStringLiteral("Address"), m_boxes[1]);
    form->addRow(QString(), m_boxes[2]);
    form->addRow(QStringLiteral("Opening Balance :"), m_ob);

    m_grid = new QTableWidget(1, 5, this);
    m_grid->setObjectName(QStringLiteral("mms"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("                   Date              "),
         QStringLiteral(" Particular ") + QString(50, QLatin1Char(' ')),
         QStringLiteral("          Credit"), QStringLiteral("          Debit"),
         QStringLiteral("          Balance")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_editor = new GridCellEditor(m_grid, this);
    m_editor->setDateColumn(MemberLedger::DateColumn, MemberLedger::DateFormat);
    m_editor->setColumnEditable(MemberLedger::PartColumn);
    m_editor->setNumericColumn(MemberLedger::CreditColumn);
    m_editor->setNumericColumn(MemberLedger::DebitColumn);
    m_editor->datePicker()->setDate(Clock::now().date());
    m_grid->verticalHeader()->setDefaultSectionSize(
        qMax(m_grid->verticalHeader()->defaultSectionSize(),
             m_editor->textEditor()->sizeHint().height()));

    auto* buttons = new QHBoxLayout;
    const char* captions[4] = {"&New", "&Delete", "&Save", "&Back"};
    for (int i = 0; i < 4; ++i) {
        m_buttons[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        m_buttons[i]->setObjectName(indexed("Cmdbtn", i));
        buttons->addWidget(m_buttons[i]);
    }
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(m_grid, 1);
    top->addLayout(buttons);
    FormHelpers::noDefaultButtons(this);

    connect(m_editor, &GridCellEditor::cellCommitted, this,
            [this](int row, int column, const QString& text) {
                if (m_filling) {
                    return;
                }
                m_ledger.setText(row, column, text);
                // The picker writes the day in the cell's own form.
                m_filling = true;
                if (auto* item = m_grid->item(row, column)) {
                    item->setText(m_ledger.cellText(row, column));
                }
                m_filling = false;
                showBalances();
            });
    connect(m_ids, &QComboBox::activated, this, [this] { loadTypedId(); });
    connect(m_ids->lineEdit(), &QLineEdit::returnPressed, this, [this] { loadTypedId(); });
    FormHelpers::onFocusOut(m_ids, this, [this] {
        // Only another id drops the edits of the loaded member.
        if (m_ids->currentText() != m_lastTried) {
            loadTypedId();
        }
    });
    connect(m_buttons[0], &QPushButton::clicked, this, [this] {
        m_editor->commit();
        const int row = m_ledger.addRow();
        if (row >= 0) {
            fillGrid();
            m_grid->setCurrentCell(row, 0);
            m_grid->setFocus();
        }
    });
    connect(m_buttons[1], &QPushButton::clicked, this, [this] {
        m_editor->commit();
        if (m_ledger.removeRow(m_grid->currentRow())) {
            fillGrid();
            m_grid->setFocus();
        }
    });
    connect(m_buttons[2], &QPushButton::clicked, this, [this] {
        m_editor->commit();
        if (m_ledger.save()) {
            showMember();
            m_lastTried.clear();
            m_ids->setEditText(QString());
            m_ids->setFocus();
        } else {
            m_grid->setFocus();
        }
    });
    connect(m_buttons[3], &QPushButton::clicked, this, &QDialog::reject);

    fillIdList();
    m_ledger.unload();
    showMember();
}

FrmCustTran::~FrmCustTran()
{
    // The cell editor filters the grid's events; it goes before the grid does, so that the
    // grid's own destruction never reaches it.
    delete m_editor;
}

void FrmCustTran::fillIdList()
{
    m_ids->blockSignals(true);
    m_ids->clear();
    m_ids->addItems(m_ledger.memberIds());
    m_ids->setCurrentIndex(-1);
    m_ids->setEditText(QString());
    m_ids->blockSignals(false);
}

void FrmCustTran::loadTypedId()
{
    const QString id = m_ids->currentText();
    if (id.isEmpty()) {
        return;
    }
    m_lastTried = id;
    m_editor->cancel();
    m_ledger.load(id);
    showMember();
    if (m_ledger.isLoaded()) {
        m_grid->setCurrentCell(m_ledger.rowCount() - 1, 0);
        m_grid->setFocus();
    }
}

void FrmCustTran::showMember()
{
    m_boxes[0]->setText(m_ledger.name());
    m_boxes[1]->setText(m_ledger.address1());
    m_boxes[2]->setText(m_ledger.address2());
    m_ob->setText(m_ledger.openingBalanceText());
    for (int i = 0; i < 3; ++i) {
        m_buttons[i]->setEnabled(m_ledger.isLoaded());
    }
    fillGrid();
}

void FrmCustTran::fillGrid()
{
    m_filling = true;
    m_editor->cancel();
    m_grid->setRowCount(m_ledger.rowCount());
    for (int r = 0; r < m_ledger.rowCount(); ++r) {
        for (int c = 0; c < 5; ++c) {
            auto* item = m_grid->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                m_grid->setItem(r, c, item);
            }
            item->setText(m_ledger.cellText(r, c));
            if (c >= MemberLedger::CreditColumn) {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
        }
    }
    m_filling = false;
}

void FrmCustTran::showBalances()
{
    m_filling = true;
    for (int r = 0; r < m_ledger.rowCount() && r < m_grid->rowCount(); ++r) {
        if (auto* item = m_grid->item(r, MemberLedger::BalanceColumn)) {
            item->setText(m_ledger.cellText(r, MemberLedger::BalanceColumn));
        }
    }
    m_filling = false;
}
