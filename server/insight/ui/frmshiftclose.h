// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/insight/shiftcloseform.h"

#include <QDialog>

class Database;
class QComboBox;
class QLabel;
class QLineEdit;

// The cashier closes the shift: what it billed by kind, the cash expected in the drawer, the
// cash counted and the difference; closed shifts are printed through the preview.
class FrmShiftClose : public QDialog
{
    Q_OBJECT
public:
    FrmShiftClose(Database& db, const QString& operatorName, QWidget* parent = nullptr);

    ShiftCloseForm& form() { return m_form; }

private:
    void showFigures();
    void fillClosed();
    void closeShift();
    void print();

    Database& m_db;
    ShiftCloseForm m_form;
    QLabel* m_since = nullptr;
    QList<QLabel*> m_amounts;
    QLineEdit* m_counted = nullptr;
    QLabel* m_difference = nullptr;
    QComboBox* m_closed = nullptr;
};
