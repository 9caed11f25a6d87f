// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

class Database;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "History Details": billed sessions listed by a bill-number range, by terminal, by usage
// category or by member, handed to the list printer.
class FrmRptHistory : public QDialog
{
    Q_OBJECT
public:
    explicit FrmRptHistory(Database& db, QWidget* parent = nullptr);

    // The option buttons are "Option_0" .. "Option_3", the bill boxes "txtbill_0" and
    // "txtbill_1".
    void chooseOption(int index);
    void print();

private:
    Database& m_db;
    QRadioButton* m_option[4] = {};
    QLineEdit* m_bill[2] = {};
    QComboBox* m_terminal = nullptr;
    QComboBox* m_member = nullptr;
    QComboBox* m_memberId = nullptr;
};
