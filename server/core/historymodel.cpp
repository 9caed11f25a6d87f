// SPDX-License-Identifier: Apache-2.0
#include "server/core/historymodel.h"

#include "common/money.h"
#include "server/core/database.h"
#include "server/core/displaytime.h"

#include <QSqlQuery>

#include <algorithm>
#include <limits>

namespace {

const char* const Headers[] = {"Bill No",  "Session Start", "Session End",
                               "Terminal", "Usage Type",    "Duration",
                               "Charge",   "Received",      "Net Amount"};
constexpr int ColumnCount = 9;

bool isMoneyColumn(int c)
{
    return c >= 6;
}

bool isTimeColumn(int c)
{
    return c == 1 || c == 2;
}

} // namespace

HistoryModel::HistoryModel(Database& db, QObject* parent) : QAbstractTableModel(parent), m_db(db)
{
    connect(&m_db, &Database::tableChanged, this, [this](const QString& table) {
        if (table == QLatin1String("history")) {
            refresh();
        }
    });
    refresh();
}

void HistoryModel::refresh()
{
    beginResetModel();
    m_pages.clear();
    const QVariant n = m_db.scalar(QStringLiteral("SELECT count(*) FROM history"), {},
                                   QStringLiteral("refresh history grid"));
    m_count = int(qMin<qlonglong>(n.toLongLong(), std::numeric_limits<int>::max()));
    endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < ColumnCount) {
        return QString::fromLatin1(Headers[section]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

const HistoryModel::Page& HistoryModel::page(int pageIndex) const
{
    for (int i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i].index == pageIndex) {
            if (i != 0) {
                m_pages.move(i, 0);
            }
            return m_pages.front();
        }
    }
    Page p;
    p.index = pageIndex;
    const int first = pageIndex * PageSize;
    const int wanted = qMin(PageSize, m_count - first);
    // Skipping rows costs time in proportion to their number, so walk from the nearer end.
    const bool fromEnd = first > m_count / 2;
    const QString sql =
        QStringLiteral(
            "SELECT billno, sstart, send, terminal, \"user\", duration, charge, received, "
            "netamount FROM history ORDER BY rowid ") +
        (fromEnd ? QStringLiteral("DESC") : QStringLiteral("ASC")) +
        QStringLiteral(" LIMIT ? OFFSET ?");
    const int offset = fromEnd ? m_count - (first + wanted) : first;
    if (auto q = m_db.exec(sql, {wanted, offset}, QStringLiteral("refresh history grid"))) {
        while (q->next()) {
            QList<QVariant> row;
            row.reserve(ColumnCount);
            for (int c = 0; c < ColumnCount; ++c) {
                row.append(q->value(c));
            }
            p.rows.append(row);
        }
    }
    if (fromEnd) {
        std::reverse(p.rows.begin(), p.rows.end());
    }
    ++m_pagesFetched;
    m_pages.prepend(p);
    if (m_pages.size() > CachedPages) {
        m_pages.removeLast();
    }
    return m_pages.front();
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_count) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return isMoneyColumn(index.column()) || index.column() == 0
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant();
    }
    const bool tip = role == Qt::ToolTipRole && isTimeColumn(index.column());
    if (role != Qt::DisplayRole && !tip) {
        return {};
    }
    const Page& p = page(index.row() / PageSize);
    const int r = index.row() % PageSize;
    if (r >= p.rows.size()) {
        return {};
    }
    const QVariant& v = p.rows[r][index.column()];
    if (isMoneyColumn(index.column())) {
        return v.isNull() ? QVariant() : QVariant(Money::fromVariant(v).toString());
    }
    if (isTimeColumn(index.column()) && !v.isNull()) {
        // The whole stored time stays at hand in the tip when the cell shows only its hours.
        return tip ? v.toString() : DisplayTime::compact(v.toString());
    }
    return tip ? QVariant() : v;
}
