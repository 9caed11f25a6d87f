// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmhkeeping.h"

#include "common/clock.h"
#include "server/accounts/ui/formhelpers.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

using FormHelpers::indexed;

FrmHKeeping::FrmHKeeping(Database& db, QWidget* parent) : QDialog(parent), m_housekeeping(db, this)
{
    setObjectName(QStringLiteral("frmhkeeping"));
    setWindowTitle(QStringLiteral("House Keeping"));
    const QDate today = Clock::now().date();

    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSTab1"));

    // History tab.
    auto* historyPage = new QWidget(tabs);
    auto* historyFrame = new QGroupBox(QStringLiteral("History Record Deletion"), historyPage);
    m_options[0] = new QRadioButton(QStringLiteral("Bill No Wise"), historyFrame);
    m_options[1] = new QRadioButton(QStringLiteral("Session Start Date"), historyFrame);
    m_options[0]->setChecked(true);
    for (int i = 0; i < 2; ++i) {
        m_options[i]->setObjectName(indexed("Options", i));
        // Empty: a range the window chose would be one Yes-Yes away from deleting bills the
        // operator never named.
        m_bill[i] = new QLineEdit(historyFrame);
        m_bill[i]->setObjectName(indexed("txtbill", i));
        FormHelpers::installAmountFilter(m_bill[i]);
        m_dtp[i] = new QDateEdit(today, historyFrame);
        m_dtp[i]->setObjectName(indexed("DTP", i));
        m_dtp[i]->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        m_dtp[i]->setCalendarPopup(true);
    }
    auto* grid = new QGridLayout(historyFrame);
    grid->addWidget(m_options[0], 0, 0);
    grid->addWidget(m_bill[0], 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("to"), historyFrame), 0, 2);
    grid->addWidget(m_bill[1], 0, 3);
    grid->addWidget(m_options[1], 1, 0);
    grid->addWidget(m_dtp[0], 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("to"), historyFrame), 1, 2);
    grid->addWidget(m_dtp[1], 1, 3);
    // Dates mean whole days: sessions started late on the To day go too.
    grid->addWidget(new QLabel(QStringLiteral("both days included whole"), historyFrame), 1, 4);
    auto* historyDelete = new QPushButton(QStringLiteral("&Delete"), historyPage);
    historyDelete->setObjectName(QStringLiteral("Cmdhistorydelete"));
    auto* historyBack = new QPushButton(QStringLiteral("&Back"), historyPage);
    historyBack->setObjectName(QStringLiteral("cmdhistoryback"));
    auto* historyButtons = new QHBoxLayout;
    historyButtons->addStretch();
    historyButtons->addWidget(historyDelete);
    historyButtons->addWidget(historyBack);
    auto* historyLayout = new QVBoxLayout(historyPage);
    historyLayout->addWidget(historyFrame);
    historyLayout->addLayout(historyButtons);
    tabs->addTab(historyPage, QStringLiteral("History "));

    // Transaction tab.
    auto* tranPage = new QWidget(tabs);
    auto* tranFrame =
        new QGroupBox(QStringLiteral("Customer Transaction Record Deletion"), tranPage);
    m_ids = new QComboBox(tranFrame);
    m_ids->setObjectName(QStringLiteral("cmbfield"));
    m_ids->setEditable(true);
    m_ids->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < 3; ++i) {
        m_boxes[i] = new QLineEdit(tranFrame);
        m_boxes[i]->setObjectName(indexed("txtfield", i));
        m_boxes[i]->setReadOnly(true);
    }
    m_cutOff = new QDateEdit(today, tranFrame);
    m_cutOff->setObjectName(QStringLiteral("Dt1"));
    m_cutOff->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_cutOff->setCalendarPopup(true);
    auto* form = new QFormLayout(tranFrame);
    auto* idLabel = new QLabel(QStringLiteral("&Member Id"), tranFrame);
    idLabel->setBuddy(m_ids);
    form->addRow(idLabel, m_ids);
    form->addRow(QStringLiteral(" Name"), m_boxes[0]);
    form->addRow(QStringLiteral("Address"), m_boxes[1]);
    form->addRow(QString(), m_boxes[2]);
    auto* cutOffRow = new QHBoxLayout;
    cutOffRow->addWidget(m_cutOff);
    cutOffRow->addWidget(
        new QLabel(QStringLiteral("up to and including the whole day"), tranFrame));
    cutOffRow->addStretch();
    form->addRow(QStringLiteral("Date <="), cutOffRow);
    m_deleteTransactions = new QPushButton(QStringLiteral("&Delete"), tranPage);
    m_deleteTransactions->setObjectName(QStringLiteral("cmdtransactiondel"));
    m_deleteTransactions->setEnabled(false);
    auto* tranBack = new QPushButton(QStringLiteral("&Back"), tranPage);
    tranBack->setObjectName(QStringLiteral("cmdtransactionback"));
    auto* tranButtons = new QHBoxLayout;
    tranButtons->addStretch();
    tranButtons->addWidget(m_deleteTransactions);
    tranButtons->addWidget(tranBack);
    auto* tranLayout = new QVBoxLayout(tranPage);
    tranLayout->addWidget(tranFrame);
    tranLayout->addLayout(tranButtons);
    tabs->addTab(tranPage, QStringLiteral("Transaction"));

    auto* top = new QVBoxLayout(this);
    top->addWidget(tabs);
    FormHelpers::noDefaultButtons(this);

    connect(historyDelete, &QPushButton::clicked, this, &FrmHKeeping::deleteHistory);
    connect(historyBack, &QPushButton::clicked, this, &QDialog::reject);
    connect(tranBack, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_deleteTransactions, &QPushButton::clicked, this, &FrmHKeeping::deleteTransactions);
    connect(m_ids->lineEdit(), &QLineEdit::returnPressed, this, &FrmHKeeping::chooseMember);
    connect(m_ids, &QComboBox::activated, this, &FrmHKeeping::chooseMember);
    FormHelpers::onFocusOut(m_ids, this, [this] {
        if (m_ids->currentText() != m_lastChosen) {
            chooseMember();
        }
    });
    fillIdList();
}

void FrmHKeeping::fillIdList()
{
    m_ids->blockSignals(true);
    m_ids->clear();
    m_ids->addItems(m_housekeeping.memberIds());
    m_ids->setCurrentIndex(-1);
    m_ids->setEditText(QString());
    m_ids->blockSignals(false);
    m_lastChosen.clear();
}

void FrmHKeeping::deleteHistory()
{
    Housekeeping::HistoryDeletion deletion =
        m_options[0]->isChecked()
            ? m_housekeeping.byBillNumbers(m_bill[0]->text(), m_bill[1]->text())
            : m_housekeeping.byStartDates(m_dtp[0]->date(), m_dtp[1]->date());
    if (!m_housekeeping.confirm(deletion)) {
        return;
    }
    // Batches keep the console answering its agents while a large history goes.
    QProgressDialog progress(QStringLiteral("Deleting the History Details..."), QString(), 0,
                             int(qMin<qint64>(deletion.total(), 1 << 30)), this);
    progress.setWindowTitle(QStringLiteral("House Keeping"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    while (m_housekeeping.step(deletion)) {
        progress.setValue(int(qMin<qint64>(deletion.done(), progress.maximum())));
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    progress.setValue(progress.maximum());
}

void FrmHKeeping::chooseMember()
{
    const QString id = m_ids->currentText();
    if (id.isEmpty()) {
        return;
    }
    m_lastChosen = id;
    const auto member = m_housekeeping.chooseMember(id);
    if (!member) {
        clearMember();
        return;
    }
    m_memberId = member->id;
    m_boxes[0]->setText(member->name);
    m_boxes[1]->setText(member->address1);
    m_boxes[2]->setText(member->address2);
    m_deleteTransactions->setEnabled(true);
    m_deleteTransactions->setFocus();
}

void FrmHKeeping::clearMember()
{
    m_memberId.clear();
    for (QLineEdit* b : m_boxes) {
        b->clear();
    }
    m_deleteTransactions->setEnabled(false);
}

void FrmHKeeping::deleteTransactions()
{
    if (m_memberId.isEmpty()) {
        return;
    }
    if (m_housekeeping.deleteTransactions(m_memberId, m_cutOff->date())) {
        clearMember();
        fillIdList();
    }
}
