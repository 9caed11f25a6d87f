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

Q_SIGNALS:
    // The owner's page settings were stored: the page is to be started again from them.
    void webOptionsSaved();

private:
    QWidget* buildStartupTab();
    QWidget* buildCurrencyTab();
    QWidget* buildBillingTab();
    QWidget* buildWebTab();
    void saveWeb();
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
    QCheckBox* m_webOn = nullptr;
    QLineEdit* m_webPort = nullptr;
    QLineEdit* m_webAddresses = nullptr;
    QLineEdit* m_webPassword[2] = {};
    QLineEdit* m_webCertificate = nullptr;
    QLineEdit* m_webKey = nullptr;
    QPushButton* m_save = nullptr;
    bool m_checkingBill = false;
};
