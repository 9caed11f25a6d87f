// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/customerstatement.h"

#include <QDialog>

#include <optional>

class Database;
class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;

// "Customer Transactions Details": one member's statement for a date range, previewed,
// printed and exported like every report.
class FrmTranRepo : public QDialog
{
    Q_OBJECT
public:
    explicit FrmTranRepo(Database& db, QWidget* parent = nullptr);

    // Looks the typed member id up (Enter in the id list, leaving it, or picking it).
    void chooseMember();
    void print();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Database& m_db;
    QComboBox* m_id = nullptr;
    QLineEdit* m_field[3] = {};
    QDateEdit* m_from = nullptr;
    QDateTimeEdit* m_to = nullptr;
    QPushButton* m_print = nullptr;
    std::optional<CustomerStatement::Member> m_member;
    bool m_choosing = false;
};
