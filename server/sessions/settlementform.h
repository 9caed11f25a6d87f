// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/core/billbalance.h"
#include "server/sessions/sessionservice.h"

#include <QString>

#include <optional>

class Database;

// The state of the settlement window without its widgets: the labels, the four amount boxes
// and their rules, and the settlement itself. Every amount is rounded to the currency digits
// given at construction.
class SettlementForm
{
public:
    enum class Focus
    {
        Stay,
        Amount,
        Other,
        Received,
        Net,
        EndButton,
        Terminal
    };

    // What a key in a box leads to: an optional "Message" box, then where the focus goes.
    struct Outcome
    {
        QString message;
        bool stopIcon = true;
        Focus focus = Focus::Stay;
    };

    SettlementForm(Database& db, int currencyDigits);

    static const QString CategoryGone;

    int digits() const { return m_digits; }
    SessionService& service() { return m_service; }

    // Opening: amounts "0", the bill-print default and the next bill number.
    void open();

    // Picking a workstation by name: fixes the end of the session in the form (not in the
    // database) and prices it. An empty or unknown name leaves nothing picked. The outcome carries
    // a message when the cashier must enter the amount by hand.
    Outcome pick(const QString& terminal);

    bool hasSession() const { return m_session.has_value(); }
    const std::optional<SessionRow>& session() const { return m_session; }

    // Labels lbl1(0)..lbl1(6).
    QString computerName() const { return m_computer; }
    QString ipAddress() const { return m_ip; }
    QString usageType() const { return m_usage; }
    QString memberId() const { return m_member; }
    QString autoLogoutNote() const { return m_autoNote; }
    QString sessionTime() const { return m_duration; }
    QString amountLabel() const { return m_amountLabel; }

    // Box texts. The net follows the amount and the other amount: any change to either, by
    // whatever path, puts their sum there. A net the cashier types stands until the next such
    // change, since it was weighed against the amounts as they were then.
    QString amount() const { return m_amt; }
    QString other() const { return m_oamt; }
    QString received() const { return m_ramt; }
    QString net() const { return m_net; }
    void setAmount(const QString& t);
    void setOther(const QString& t);
    void setReceived(const QString& t) { m_ramt = t; }
    void setNet(const QString& t);
    bool netByHand() const { return m_netByHand; }
    static const QString NetByHand;

    // The balance due or the change between the net and the received amount, as the bill of
    // a settlement now would print it.
    BillBalance balance() const;

    QString billNo() const { return m_billno; }
    bool printEnabled() const { return m_printEnabled; }
    bool printChecked() const { return m_print; }
    void setPrint(bool on) { m_print = on && m_printEnabled; }
    bool amountsEnabled() const { return m_amountsEnabled; }
    bool endEnabled() const { return m_endEnabled; }
    bool jobWorkEnabled() const { return m_jobWorkEnabled; }

    CloseAction action() const { return m_action; }
    void setAction(CloseAction a) { m_action = a; }

    // Enter or Tab in the boxes.
    Outcome amountEntered();
    Outcome otherEntered();
    Outcome receivedEntered();
    void receivedLeft();
    Outcome netEntered();
    // The job-work window closed with this total of its lines.
    void jobWorkClosed(Money total);

    // "&End Session" after the cashier's Yes: takes the boxes as they stand, as if each had
    // been entered, and records the bill in one transaction.
    SettleResult settle();

    Money value(const QString& text) const { return Money::parse(text).rounded(m_digits); }
    QString text(Money m) const { return m.rounded(m_digits).toString(); }

private:
    void clearAmounts();
    void followNet();
    void refreshBillNo();

    Database& m_db;
    SessionService m_service;
    int m_digits;
    std::optional<SessionRow> m_session;
    QString m_computer, m_ip, m_usage, m_member, m_autoNote, m_duration, m_amountLabel;
    QString m_amt = QStringLiteral("0");
    QString m_oamt = QStringLiteral("0");
    QString m_ramt = QStringLiteral("0");
    QString m_net = QStringLiteral("0");
    QString m_billno;
    bool m_netByHand = false;
    bool m_print = false;
    bool m_printEnabled = true;
    bool m_amountsEnabled = true;
    bool m_endEnabled = false;
    bool m_jobWorkEnabled = false;
    CloseAction m_action = CloseAction::Lock;
};
