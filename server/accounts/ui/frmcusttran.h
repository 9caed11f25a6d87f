// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/memberledger.h"

#include <QDialog>

class Database;
class GridCellEditor;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "Member Transactions Details": one member's ledger, edited in the grid `mms` and stored
// by Save.
class FrmCustTran : public QDialog
{
    Q_OBJECT
public:
    explicit FrmCustTran(Database& db, QWidget* parent = nullptr);
    ~FrmCustTran() override;

    MemberLedger& ledger() { return m_ledger; }
    GridCellEditor* cellEditor() const { return m_editor; }

private:
    void loadTypedId();
    void showMember();
    void fillGrid();
    void showBalances();
    void fillIdList();

    MemberLedger m_ledger;
    QComboBox* m_ids = nullptr;
    QLineEdit* m_boxes[3] = {};
    QLineEdit* m_ob = nullptr;
    QTableWidget* m_grid = nullptr;
    GridCellEditor* m_editor = nullptr;
    QPushButton* m_buttons[4] = {};
    QString m_lastTried; // the id last looked up
    bool m_filling = false;
};
