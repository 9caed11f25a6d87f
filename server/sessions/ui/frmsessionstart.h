// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/sessionservice.h"

#include <QDialog>

class Database;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Start New Session": picks a ready workstation, a usage category and optionally a member,
// records the session and tells the workstation's agent to unlock or to show its options.
class FrmSessionStart : public QDialog
{
    Q_OBJECT
public:
    explicit FrmSessionStart(Database& db, QWidget* parent = nullptr);

    // The choices as they stand, in the form the session service takes them.
    StartRequest request() const;

public Q_SLOTS:
    void pickOnline();
    void memberEntered();
    void passwordLeft();
    void startClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The look-up behind memberEntered. At Start an unknown id stays in the box, so the start
    // guards refuse it in their order; on Enter the box is emptied and the cashier told.
    void lookUpMember(bool atStart);
    void reloadLists(const QString& table);
    void maintainsToggled(bool on);
    void autoLogoutToggled(bool on);
    void passwordByUserToggled(bool on);

    Database& m_db;
    SessionService m_service;
    QString m_memberPassword;
    QString m_enteredMember; // the id whose look-up the held password belongs to
    QComboBox* m_online;
    QComboBox* m_category;
    QGroupBox* m_memberFrame;
    QComboBox* m_member;
    QLineEdit* m_password;
    QCheckBox* m_passwordByUser;
    QLineEdit* m_amount;
    QGroupBox* m_optionsFrame;
    QCheckBox* m_options;
    QCheckBox* m_maintains;
    QCheckBox* m_autoLogout;
    QLineEdit* m_autoLogoutMinutes;
    QRadioButton* m_lock;
    QRadioButton* m_shutdown;
    QRadioButton* m_restart;
    QPushButton* m_start;
    QPushButton* m_exit;
};
