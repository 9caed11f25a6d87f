// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/memberregister.h"

#include <QDialog>

class Database;
class QComboBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// "Member Information Details": creating, editing and deleting members.
class FrmMember : public QDialog
{
    Q_OBJECT
public:
    explicit FrmMember(Database& db, QWidget* parent = nullptr);

    MemberRegister& memberRegister() { return m_register; }
    // Another layer's part of the window (the prepaid credit), shown above the buttons.
    void addSection(QWidget* section);

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
    QVBoxLayout* m_top = nullptr;
    QString m_lastChosen;
};
