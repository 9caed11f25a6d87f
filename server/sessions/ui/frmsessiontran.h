// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/sessionservice.h"

#include <QDialog>

#include <optional>

class Database;
class QComboBox;
class QLabel;
class QPushButton;

// "Transfer to another Terminal": moves a running session to a ready workstation.
class FrmSessionTran : public QDialog
{
    Q_OBJECT
public:
    explicit FrmSessionTran(Database& db, QWidget* parent = nullptr);

    // Opens on the running session with this `terminals` rowid, as if picked from the list.
    void preselect(qint64 rowid);

public Q_SLOTS:
    void pickSource();
    void pickDestination();
    void transferClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateButton();
    void reloadLists(const QString& table);

    Database& m_db;
    SessionService m_service;
    std::optional<SessionRow> m_source;
    QComboBox* m_from;
    QComboBox* m_to;
    QLabel* m_labels[5];
    QPushButton* m_transfer;
    QPushButton* m_back;
};
