// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/settlementform.h"

#include "common/timesplit.h"
#include "server/core/database.h"
#include "server/sessions/charge.h"

const QString SettlementForm::CategoryGone =
    QStringLiteral("The usage type of this session no longer exists. Enter the amount to bill.");

const QString SettlementForm::NetByHand = QStringLiteral("net entered by hand");

SettlementForm::SettlementForm(Database& db, int currencyDigits)
    : m_db(db), m_service(db), m_digits(qBound(0, currencyDigits, 4))
{
}

void SettlementForm::refreshBillNo()
{
    m_billno = m_db.scalar(QStringLiteral("SELECT billno FROM defalt")).toString();
}

void SettlementForm::open()
{
    m_amt = m_oamt = m_net = m_ramt = QStringLiteral("0");
    m_netByHand = false;
    m_print = m_db.scalar(QStringLiteral("SELECT printbill FROM defalt")).toLongLong() != 0;
    m_printEnabled = true;
    m_amountsEnabled = true;
    m_endEnabled = false;
    m_jobWorkEnabled = false;
    m_session.reset();
    refreshBillNo();
}

void SettlementForm::clearAmounts()
{
    m_amt = m_ramt = QStringLiteral("0");
    followNet();
    m_amountLabel.clear();
}

void SettlementForm::followNet()
{
    m_net = text(value(m_amt) + value(m_oamt));
    m_netByHand = false;
}

void SettlementForm::setAmount(const QString& t)
{
    if (t != m_amt) {
        m_amt = t;
        followNet();
    }
}

void SettlementForm::setOther(const QString& t)
{
    if (t != m_oamt) {
        m_oamt = t;
        followNet();
    }
}

void SettlementForm::setNet(const QString& t)
{
    if (t != m_net) {
        m_net = t;
        m_netByHand = true;
    }
}

SettlementForm::Outcome SettlementForm::pick(const QString& terminal)
{
    Outcome out;
    m_jobWorkEnabled = false;
    m_session.reset();
    if (terminal.trimmed().isEmpty()) {
        m_endEnabled = false;
        return out;
    }
    const auto found = m_service.findSession(terminal);
    if (!found) {
        m_endEnabled = false;
        return out;
    }
    m_session = m_service.fixEnd(found->rowid);
    if (!m_session) {
        m_endEnabled = false;
        return out;
    }
    const SessionRow& s = *m_session;
    refreshBillNo();
    m_computer = s.terminal.toUpper();
    m_ip = s.ip;
    m_autoNote = s.autologout ? QStringLiteral("AUTO LOGOUT BY USER") : QString();
    m_member = s.memberid;

    if (s.maintains) {
        // Not billed: nothing of an earlier pick may end up in its history row.
        m_print = false;
        m_printEnabled = false;
        m_amountsEnabled = false;
        m_usage = QStringLiteral("Maintaining");
        m_duration.clear();
        m_oamt = QStringLiteral("0");
        clearAmounts();
        m_endEnabled = true;
        return out;
    }

    m_usage = s.user;
    if (!m_printEnabled) {
        m_print = m_db.scalar(QStringLiteral("SELECT printbill FROM defalt")).toLongLong() != 0;
    }
    m_printEnabled = true;
    m_amountsEnabled = true;

    const TimeSplit split = splittime(s.sstart, s.send);
    m_duration = split.labelText();
    if (const auto category = m_service.findCategory(s.user)) {
        const Money charge = calccharge(m_db, *category, split.hours, split.minutes, split.seconds)
                                 .rounded(m_digits);
        m_amountLabel = charge.toLabel();
        m_amt = charge.toString();
        m_ramt = text(s.amtreceived);
        followNet();
    } else {
        clearAmounts();
        m_ramt = text(s.amtreceived);
        out.message = CategoryGone;
        out.stopIcon = false;
        out.focus = Focus::Amount;
    }
    m_endEnabled = true;
    m_jobWorkEnabled = true;
    return out;
}

SettlementForm::Outcome SettlementForm::amountEntered()
{
    const Money v = value(m_amt);
    if (v <= Money()) {
        m_amt = QStringLiteral("0");
        followNet();
        return {QStringLiteral("Please Enter Amount"), true, Focus::Amount};
    }
    m_amt = text(v);
    followNet();
    return {QString(), true, Focus::EndButton};
}

SettlementForm::Outcome SettlementForm::otherEntered()
{
    const Money v = value(m_oamt);
    if (v <= Money()) {
        m_oamt = QStringLiteral("0");
        followNet();
        return {QStringLiteral("Please Enter Amount"), true, Focus::Other};
    }
    m_oamt = text(v);
    followNet();
    return {QString(), true, Focus::Stay};
}

SettlementForm::Outcome SettlementForm::receivedEntered()
{
    m_ramt = text(value(m_ramt));
    return {QString(), true, Focus::Net};
}

void SettlementForm::receivedLeft()
{
    m_ramt = text(value(m_ramt));
}

SettlementForm::Outcome SettlementForm::netEntered()
{
    if (value(m_net) > Money()) {
        return {QString(), true, Focus::EndButton};
    }
    followNet();
    return {QStringLiteral("Please Enter Amount"), true, Focus::Net};
}

BillBalance SettlementForm::balance() const
{
    Money net = value(m_net);
    if (m_netByHand && net.isZero()) {
        // Billed as settle() takes an emptied or 0 net.
        net = value(m_amt) + value(m_oamt);
    }
    return BillBalance::of(net, value(m_ramt));
}

void SettlementForm::jobWorkClosed(Money total)
{
    setOther(text(total));
}

SettleResult SettlementForm::settle()
{
    SettleResult r;
    if (!m_session) {
        r.error = QStringLiteral("Please select the Terminal First");
        return r;
    }
    SettleRequest req;
    req.sessionRowid = m_session->rowid;
    req.sstart = m_session->sstart;
    req.send = m_session->send;
    req.duration = m_duration;
    req.userLabel = m_usage;
    if (!m_session->maintains) {
        m_amt = text(value(m_amt));
        m_oamt = text(value(m_oamt));
        m_ramt = text(value(m_ramt));
        // An emptied or 0 net is no price the cashier meant: it is billed without a discount,
        // as the box showed before it was touched. Taking the received amount off it here would
        // count the payment twice, since the ledger credits that amount on its own. A negative
        // net still goes to the service, which refuses it.
        if (m_netByHand && !value(m_net).isZero()) {
            m_net = text(value(m_net));
        } else {
            followNet();
        }
        req.received = value(m_ramt);
        req.charge = value(m_amt);
        req.other = value(m_oamt);
        req.net = value(m_net);
    }
    req.action = m_action;
    req.print = m_print && m_printEnabled;
    r = m_service.settle(req);
    if (r.ok) {
        m_session.reset();
        m_endEnabled = false;
        m_jobWorkEnabled = false;
    }
    refreshBillNo();
    return r;
}
