// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/housekeeping.h"

#include <QDialog>

class Database;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "House Keeping": deleting old billing history and a member's old ledger entries.
class FrmHKeeping : public QDialog
{
    Q_OBJECT
public:
    explicit FrmHKeeping(Database& db, QWidget* parent = nullptr);

    Housekeeping& housekeeping() { return m_housekeeping; }

private:
    void deleteHistory();
    void chooseMember();
    void deleteTransactions();
    void clearMember();
    void fillIdList();

    Housekeeping m_housekeeping;
    QRadioButton* m_options[2] = {};
    QLineEdit* m_bill[2] = {};
    QDateEdit* m_dtp[2] = {};
    QComboBox* m_ids = nullptr;
    QLineEdit* m_boxes[3] = {};
    QDateEdit* m_cutOff = nullptr;
    QPushButton* m_deleteTransactions = nullptr;
    QString m_memberId;
    QString m_lastChosen;
};
