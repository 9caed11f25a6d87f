// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/jobworkstore.h"

#include <QDialog>

class Database;
class GridCellEditor;
class QLineEdit;
class QTableWidget;

// "Job Work Details Entry": the quantities of job work taken during the session being
// settled. Closing the window stores them for this console.
class FrmJobWorkDetails : public QDialog
{
    Q_OBJECT
public:
    explicit FrmJobWorkDetails(Database& db, QWidget* parent = nullptr);
    ~FrmJobWorkDetails() override;

    QTableWidget* grid() const { return m_grid; }
    GridCellEditor* editor() const { return m_editor; }
    // The sum of the line amounts as shown in `TxtTotal`.
    Money total() const;

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lineCommitted(int row, int column, const QString& text);
    void updateTotal();

    Database& m_db;
    QList<JobWorkStore::Line> m_lines;
    QTableWidget* m_grid;
    GridCellEditor* m_editor;
    QLineEdit* m_total;
    bool m_stored = false;
};
