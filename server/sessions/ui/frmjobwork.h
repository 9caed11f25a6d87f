// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

class Database;
class GridCellEditor;
class QLabel;
class QPushButton;
class QTableWidget;

// "Jobwork Details": the catalogue of job-work types and their unit amounts.
class FrmJobWork : public QDialog
{
    Q_OBJECT
public:
    explicit FrmJobWork(Database& db, QWidget* parent = nullptr);
    ~FrmJobWork() override;

    QTableWidget* grid() const { return m_grid; }
    GridCellEditor* editor() const { return m_editor; }

public Q_SLOTS:
    void newClicked();
    void deleteClicked();
    void saveClicked();

private:
    void load();

    Database& m_db;
    QTableWidget* m_grid;
    GridCellEditor* m_editor;
    QLabel* m_hint;
};
