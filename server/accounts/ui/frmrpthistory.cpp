// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmrpthistory.h"

#include "common/prompt.h"
#include "server/accounts/historyreport.h"
#include "server/accounts/ui/printing.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

FrmRptHistory::FrmRptHistory(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmrpthistory"));
    setWindowTitle(QStringLiteral("History Details"));

    auto* top = new QVBoxLayout(this);
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* grid = new QGridLayout(frame);
    const QString captions[4] = {QStringLiteral("Bill No Wise"), QStringLiteral("Terminal Wise"),
                                 QStringLiteral("Member Wise"), QStringLiteral("Member Wise")};
    for (int i = 0; i < 4; ++i) {
        m_option[i] = new QRadioButton(captions[i], frame);
        m_option[i]->setObjectName(QStringLiteral("Option_%1").arg(i));
        if (i >= 2) {
            // The two member choices read alike; the tip tells them apart.
            m_option[i]->setToolTip(i == 2 ? QStringLiteral("By usage type")
                                           : QStringLiteral("By member id"));
        }
        connect(m_option[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                chooseOption(i);
            }
        });
    }
    const QString texts[2] = {QStringLiteral("1"), QStringLiteral("1000")};
    for (int i = 0; i < 2; ++i) {
        m_bill[i] = new QLineEdit(texts[i], frame);
        m_bill[i]->setObjectName(QStringLiteral("txtbill_%1").arg(i));
    }
    m_terminal = new QComboBox(frame);
    m_terminal->setObjectName(QStringLiteral("txtterminal"));
    m_member = new QComboBox(frame);
    m_member->setObjectName(QStringLiteral("txtmember"));
    m_memberId = new QComboBox(frame);
    m_memberId->setObjectName(QStringLiteral("txtmemberid"));

    auto* billRow = new QHBoxLayout;
    billRow->addWidget(new QLabel(QStringLiteral("From"), frame));
    billRow->addWidget(m_bill[0]);
    billRow->addWidget(new QLabel(QStringLiteral("To"), frame));
    billRow->addWidget(m_bill[1]);
    grid->addWidget(m_option[0], 0, 0);
    grid->addLayout(billRow, 0, 1);
    grid->addWidget(m_option[1], 1, 0);
    grid->addWidget(m_terminal, 1, 1);
    grid->addWidget(m_option[2], 2, 0);
    grid->addWidget(m_member, 2, 1);
    grid->addWidget(m_option[3], 3, 0);
    grid->addWidget(m_memberId, 3, 1);
    top->addWidget(frame);

    auto* buttons = new QHBoxLayout;
    auto* printButton = new QPushButton(QStringLiteral("&Print"), this);
    printButton->setObjectName(QStringLiteral("Cmdprint"));
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("Cmdback"));
    buttons->addStretch(1);
    buttons->addWidget(printButton);
    buttons->addWidget(back);
    top->addLayout(buttons);

    connect(printButton, &QPushButton::clicked, this, &FrmRptHistory::print);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    m_option[0]->setChecked(true);
}

void FrmRptHistory::chooseOption(int index)
{
    auto fill = [](QComboBox* box, const QStringList& items) {
        if (items.isEmpty()) {
            return;
        }
        box->clear();
        box->addItems(items);
        box->setCurrentIndex(int(items.size()) - 1);
    };
    if (index == 1) {
        fill(m_terminal, HistoryReport::terminals(m_db));
    } else if (index == 2) {
        fill(m_member, HistoryReport::categories(m_db));
    } else if (index == 3) {
        fill(m_memberId, HistoryReport::members(m_db));
    }
}

void FrmRptHistory::print()
{
    HistoryReport::Selection s;
    if (m_option[0]->isChecked()) {
        s = HistoryReport::byBillRange(m_db, m_bill[0]->text(), m_bill[1]->text());
    } else if (m_option[1]->isChecked()) {
        s = HistoryReport::byTerminal(m_db, m_terminal->currentText());
    } else if (m_option[2]->isChecked()) {
        s = HistoryReport::byCategory(m_db, m_member->currentText());
    } else {
        s = HistoryReport::byMember(m_db, m_memberId->currentText());
    }
    if (!s.message.isEmpty()) {
        Prompt::message(s.message, QStringLiteral("Message"));
        return;
    }
    PrintHistoryList(m_db, s.title, s.rows, this);
}
