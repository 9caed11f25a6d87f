// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ui/frmtickets.h"

#include "common/clock.h"
#include "server/accounts/ui/formhelpers.h"
#include "server/accounts/ui/preview.h"
#include "server/core/database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int CodeRole = Qt::UserRole + 1;

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

FrmTickets::FrmTickets(Database& db, int digits, QWidget* parent)
    : QDialog(parent), m_form(db, digits)
{
    setObjectName(QStringLiteral("frmtickets"));
    setWindowTitle(TicketsForm::Title);

    auto* sale = new QGroupBox(QStringLiteral("New Tickets"), this);
    m_category = new QComboBox(sale);
    m_category->setObjectName(QStringLiteral("cmbcategory"));
    m_category->setEditable(true);
    m_category->setInsertPolicy(QComboBox::NoInsert);
    m_category->addItems(m_form.categories());
    m_count = new QLineEdit(QStringLiteral("1"), sale);
    m_count->setObjectName(QStringLiteral("txtcount"));
    m_byAmount = new QRadioButton(QStringLiteral("Amount"), sale);
    m_byAmount->setObjectName(QStringLiteral("optamount"));
    m_byAmount->setChecked(true);
    m_byMinutes = new QRadioButton(QStringLiteral("Minutes"), sale);
    m_byMinutes->setObjectName(QStringLiteral("optminutes"));
    m_value = new QLineEdit(sale);
    m_value->setObjectName(QStringLiteral("txtvalue"));
    m_expires = new QCheckBox(QStringLiteral("Expires after"), sale);
    m_expires->setObjectName(QStringLiteral("chkexpires"));
    m_expiry = new QDateEdit(Clock::now().date().addMonths(1), sale);
    m_expiry->setObjectName(QStringLiteral("dtpexpires"));
    m_expiry->setCalendarPopup(true);
    m_expiry->setEnabled(false);
    FormHelpers::installAmountFilter(m_count);
    FormHelpers::installAmountFilter(m_value);
    FormHelpers::selectAllOnFocus(m_count);
    FormHelpers::selectAllOnFocus(m_value);
    auto* kind = new QHBoxLayout;
    kind->addWidget(m_byAmount);
    kind->addWidget(m_byMinutes);
    kind->addStretch();
    auto* expiry = new QHBoxLayout;
    expiry->addWidget(m_expires);
    expiry->addWidget(m_expiry);
    expiry->addStretch();
    auto* create = button("cmdcreate", QStringLiteral("&Create"), sale);
    auto* form = new QFormLayout(sale);
    form->addRow(QStringLiteral("Usage Category"), m_category);
    form->addRow(QStringLiteral("Number of Tickets"), m_count);
    form->addRow(QStringLiteral("Each Worth"), kind);
    form->addRow(QString(), m_value);
    form->addRow(QString(), expiry);
    form->addRow(QString(), create);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("grdtickets"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels(TicketsForm::Columns);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    m_void = button("cmdvoid", QStringLiteral("&Void"), this);
    m_reprint = button("cmdreprint", QStringLiteral("&Reprint"), this);
    auto* close = button("cmdclose", QStringLiteral("C&lose"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_void);
    buttons->addWidget(m_reprint);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* top = new QVBoxLayout(this);
    top->addWidget(sale);
    top->addWidget(m_list, 1);
    top->addLayout(buttons);
    FormHelpers::noDefaultButtons(this);
    resize(760, 560);

    connect(m_expires, &QCheckBox::toggled, m_expiry, &QWidget::setEnabled);
    connect(m_byMinutes, &QRadioButton::toggled, this, &FrmTickets::byMinutesToggled);
    connect(create, &QPushButton::clicked, this, &FrmTickets::create);
    connect(m_void, &QPushButton::clicked, this, &FrmTickets::voidChosen);
    connect(m_reprint, &QPushButton::clicked, this, &FrmTickets::reprintChosen);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool chosen = !selectedCode().isEmpty();
        m_void->setEnabled(chosen);
        m_reprint->setEnabled(chosen);
    });
    // Customers log in and out while the window is open: the states follow, once per burst.
    connect(&db, &Database::tableChanged, this, [this](const QString& table) {
        if ((table == QLatin1String("tickets") || table == QLatin1String("terminals")) &&
            !m_refillDue) {
            m_refillDue = true;
            QTimer::singleShot(0, this, &FrmTickets::refill);
        }
    });
    refill();
}

TicketsForm::Entry FrmTickets::entry() const
{
    TicketsForm::Entry e;
    e.category = m_category->currentText();
    e.count = m_count->text();
    e.byMinutes = m_byMinutes->isChecked();
    e.value = m_value->text();
    e.expires = m_expires->isChecked();
    e.expiry = m_expiry->date();
    return e;
}

void FrmTickets::byMinutesToggled()
{
    // Minutes are whole: the box takes no full stop then.
    if (m_byMinutes->isChecked()) {
        m_value->setText(m_value->text().section(QLatin1Char('.'), 0, 0));
    }
    m_value->setFocus();
}

void FrmTickets::create()
{
    const TicketSaleResult result = m_form.sell(entry());
    if (!result.ok) {
        return;
    }
    refill();
    // Saved before the slips are shown: closing the preview without printing loses nothing,
    // the slips can be printed again from the list.
    Preview::present(m_form.slips(result.tickets), this);
}

QString FrmTickets::selectedCode() const
{
    const QList<QTreeWidgetItem*> picked = m_list->selectedItems();
    return picked.isEmpty() ? QString() : picked.first()->data(0, CodeRole).toString();
}

void FrmTickets::voidChosen()
{
    const QString code = selectedCode();
    if (!code.isEmpty() && m_form.voidTicket(code)) {
        refill();
    }
}

void FrmTickets::reprintChosen()
{
    const QString code = selectedCode();
    for (const Ticket& t : m_form.tickets()) {
        if (t.code == code) {
            Preview::present(m_form.slips({t}), this);
            return;
        }
    }
}

void FrmTickets::refill()
{
    m_refillDue = false;
    const QString selected = selectedCode();
    m_list->clear();
    const QDateTime now = Clock::now();
    QList<QTreeWidgetItem*> items;
    for (const Ticket& t : m_form.reload()) {
        auto* item = new QTreeWidgetItem(m_form.rowTexts(t, now));
        item->setData(0, CodeRole, t.code);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items) {
        if (item->data(0, CodeRole).toString() == selected) {
            m_list->setCurrentItem(item);
        }
    }
    const bool chosen = !selectedCode().isEmpty();
    m_void->setEnabled(chosen);
    m_reprint->setEnabled(chosen);
}
