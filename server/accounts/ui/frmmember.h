// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/memberregister.h"

#include <QDialog>

class Database;
class QComboBox;
class QLineEdit;
class QPushButton;

// "Member Information Details": creating, editing and deleting members.
class FrmMember : public QDialog
{
    Q_OBJECT
public:
    explicit FrmMember(Database& db, QWidget* parent = nullptr);

    MemberRegister& memberRegister() { return m_register; }

private:
    void pushToRegister();
    void showRegister();
    void fillIdList();
    void chooseTypedId();

    Database& m_db;
    MemberRegister m_register;
    QComboBox* m_ids = nullptr;
    QComboBox* m_usage = nullptr;
    QLineEdit* m_boxes[6] = {};
    QPushButton* m_buttons[4] = {};
    QString m_lastChosen;
};
