// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ui/membercreditpanel.h"

#include "server/accounts/ui/formhelpers.h"
#include "server/accounts/ui/frmmember.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

MemberCreditPanel::MemberCreditPanel(FrmMember& window, Database& db, int digits)
    : QWidget(&window), m_window(window), m_counter(db, digits)
{
    setObjectName(QStringLiteral("fraprepaid"));
    m_balance = new QLabel(this);
    m_balance->setObjectName(QStringLiteral("lblbalance"));
    m_balance->setTextFormat(Qt::PlainText);
    m_amount = new QLineEdit(this);
    m_amount->setObjectName(QStringLiteral("txttopup"));
    FormHelpers::installAmountFilter(m_amount);
    FormHelpers::selectAllOnFocus(m_amount);
    m_topUp = new QPushButton(QStringLiteral("&Top up"), this);
    m_topUp->setObjectName(QStringLiteral("cmdtopup"));
    m_topUp->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(m_amount, 1);
    row->addWidget(m_topUp);
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("Balance"), m_balance);
    form->addRow(QStringLiteral("Top up Amount"), row);
    window.addSection(this);

    connect(&window.memberRegister(), &MemberRegister::changed, this,
            &MemberCreditPanel::showMember);
    connect(m_topUp, &QPushButton::clicked, this, &MemberCreditPanel::topUp);
    showMember();
}

void MemberCreditPanel::showMember()
{
    const MemberRegister& r = m_window.memberRegister();
    // A member still being created has no account to pay into.
    m_id = r.isNewMode() ? QString() : r.id().trimmed();
    m_balance->setText(m_id.isEmpty() ? QString() : m_counter.balanceText(m_id));
    m_amount->setEnabled(!m_id.isEmpty());
    m_topUp->setEnabled(!m_id.isEmpty());
}

void MemberCreditPanel::topUp()
{
    if (!m_id.isEmpty() && m_counter.topUp(m_id, m_amount->text())) {
        m_amount->clear();
        m_balance->setText(m_counter.balanceText(m_id));
    }
}
