// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

class Database;
class QLineEdit;

// "Bill Reprint": asks for a bill number and prints that bill again.
class FrmBillReprint : public QDialog
{
    Q_OBJECT
public:
    explicit FrmBillReprint(Database& db, QWidget* parent = nullptr);

    // Asks for the number modally and reprints it.
    static void run(Database& db, QWidget* parent = nullptr);

    // OK: an empty answer does nothing; an unknown number says "Bill No Not found".
    void accept() override;

private:
    Database& m_db;
    QLineEdit* m_number = nullptr;
};
