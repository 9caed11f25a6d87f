// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/printing.h"

#include "server/accounts/reportcomposer.h"
#include "server/accounts/ui/preview.h"

void PrintBill(Database& db, qint64 billno, QWidget* parent)
{
    Preview::present(ReportComposer::composeBill(db, billno), parent);
}

void PrintHistoryList(Database& db, const QString& title, const QList<QSqlRecord>& rows,
                      QWidget* parent)
{
    Q_UNUSED(db);
    Preview::present(ReportComposer::composeHistoryList(title, rows), parent);
}
