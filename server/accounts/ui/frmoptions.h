// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/optionsmodel.h"

#include <QDialog>

class Database;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Defaults Settings": the console's options, bill numbering, operator passwords and the
// cafe's details.
class FrmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit FrmOptions(Database& db, QWidget* parent = nullptr);

    OptionsModel& options() { return m_options; }

private:
    QWidget* buildStartupTab();
    QWidget* buildCurrencyTab();
    QWidget* buildBillingTab();
    QWidget* buildPasswordTab(const char* name, OptionsModel::Role role, QLineEdit** boxes);
    void billNumberEntered();
    void save();

    OptionsModel m_options;
    QLineEdit* m_port = nullptr;
    QCheckBox* m_runStart = nullptr;
    QCheckBox* m_runMin = nullptr;
    QCheckBox* m_lockDateTime = nullptr;
    QListWidget* m_regional = nullptr;
    QLineEdit* m_billNo = nullptr;
    QCheckBox* m_printBill = nullptr;
    QLineEdit* m_cafeName = nullptr;
    QLineEdit* m_cafeAddress[2] = {};
    QLineEdit* m_exportFolder = nullptr;
    QLineEdit* m_backupFolder = nullptr;
    QLineEdit* m_prepaidMinimum = nullptr;
    QLineEdit* m_adminBoxes[3] = {};
    QLineEdit* m_staffBoxes[3] = {};
    QPushButton* m_save = nullptr;
    bool m_checkingBill = false;
};
