// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/settlementform.h"

#include <QDialog>

class Database;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "End Session": picks a running session, prices it, lets the cashier adjust the amounts and
// add job work, then records the bill, shows it and tells the workstation's agent.
class FrmSessionEnd : public QDialog
{
    Q_OBJECT
public:
    explicit FrmSessionEnd(Database& db, QWidget* parent = nullptr);

    // The currency digits every amount is rounded to; the console sets them once at start-up
    // (until then the user's regional settings are read when the window opens).
    static void setCurrencyDigits(int digits);

    SettlementForm& form() { return m_form; }
    // Opens on the running session with this `terminals` rowid, as if picked from the list.
    void preselect(qint64 rowid);

public Q_SLOTS:
    void pickTerminal();
    void jobWorkClicked();
    void endClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showForm();
    void showBalance();
    // A pick from the keyboard: when it loads without a message, End is next.
    void pickAndShow();
    void boxEdited(QLineEdit* box);
    void apply(const SettlementForm::Outcome& out, QWidget* box);
    void reloadTerminals(const QString& table);

    Database& m_db;
    SettlementForm m_form;
    QComboBox* m_terminal;
    QLabel* m_labels[7];
    QLineEdit* m_billNo;
    QCheckBox* m_print;
    QLineEdit* m_amt;
    QLineEdit* m_oamt;
    QLineEdit* m_ramt;
    QLineEdit* m_net;
    QLabel* m_netByHand;
    QLabel* m_balanceCaption;
    QLabel* m_balance;
    QPushButton* m_jobWork;
    QRadioButton* m_lock;
    QRadioButton* m_shutdown;
    QRadioButton* m_restart;
    QPushButton* m_end;
    QPushButton* m_back;
    bool m_showing = false;
};
