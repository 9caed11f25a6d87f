// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QSqlRecord>
#include <QString>

class Database;
class QWidget;

// Composes one bill by its number and shows it in the modal preview window.
void PrintBill(Database& db, qint64 billno, QWidget* parent = nullptr);
// Composes a titled list of history rows with a total and shows it in the modal preview window.
void PrintHistoryList(Database& db, const QString& title, const QList<QSqlRecord>& rows,
                      QWidget* parent = nullptr);
