// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/link/remotecontrol.h"

#include <QDialog>

class Database;
class QPushButton;
class QTableWidget;

// "Tools": the connected workstations and the four remote commands. Stays open so several
// workstations can be handled in turn; the list follows the `online` table.
class FrmTools : public QDialog
{
    Q_OBJECT
public:
    explicit FrmTools(Database& db, QWidget* parent = nullptr);

    // Fills the grid from `online` again, keeping the chosen workstation where it still is.
    void refill();

private:
    void command(RemoteControl::Command c);

    Database& m_db;
    RemoteControl m_control;
    QTableWidget* m_grid = nullptr;
};
