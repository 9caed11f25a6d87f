// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/prepaid/ticketsform.h"

#include <QDialog>

class Database;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

// "Tickets": selling a batch of prepaid tickets, the list of every ticket sold with its state,
// voiding one and printing its slip again.
class FrmTickets : public QDialog
{
    Q_OBJECT
public:
    FrmTickets(Database& db, int digits, QWidget* parent = nullptr);

    TicketsForm& form() { return m_form; }
    // The code of the ticket chosen in the list; "" for none.
    QString selectedCode() const;
    void refill();

private:
    TicketsForm::Entry entry() const;
    void create();
    void voidChosen();
    void reprintChosen();
    void byMinutesToggled();

    TicketsForm m_form;
    QComboBox* m_category = nullptr;
    QLineEdit* m_count = nullptr;
    QRadioButton* m_byAmount = nullptr;
    QRadioButton* m_byMinutes = nullptr;
    QLineEdit* m_value = nullptr;
    QCheckBox* m_expires = nullptr;
    QDateEdit* m_expiry = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_void = nullptr;
    QPushButton* m_reprint = nullptr;
    bool m_refillDue = false;
};
