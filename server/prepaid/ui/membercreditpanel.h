// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/prepaid/prepaidcounter.h"

#include <QWidget>

class Database;
class FrmMember;
class QLabel;
class QLineEdit;
class QPushButton;

// The member window's prepaid part: the chosen member's balance (what prepaid time is paid
// from) and a top-up of an amount the customer paid at the counter.
class MemberCreditPanel : public QWidget
{
    Q_OBJECT
public:
    // Adds itself to the window.
    MemberCreditPanel(FrmMember& window, Database& db, int digits);

private:
    void showMember();
    void topUp();

    FrmMember& m_window;
    PrepaidCounter m_counter;
    QLabel* m_balance = nullptr;
    QLineEdit* m_amount = nullptr;
    QPushButton* m_topUp = nullptr;
    QString m_id; // the stored member shown; "" while none is
};
