// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QVariant>

class Database;

// The billed sessions for the console's history grid. Only the rows on screen are read: a
// cafe's history grows to millions of rows and the grid opens scrolled to the last one, so
// rows come in pages fetched from whichever end of the table is nearer.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int PageSize = 256;
    static constexpr int CachedPages = 8;

    explicit HistoryModel(Database& db, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Reads the row count again and drops what was cached.
    void refresh();
    // Pages read from the database so far (for measurements).
    int pagesFetched() const { return m_pagesFetched; }

private:
    struct Page
    {
        int index = -1;
        QList<QList<QVariant>> rows;
    };
    const Page& page(int pageIndex) const;

    Database& m_db;
    int m_count = 0;
    mutable QList<Page> m_pages; // most recently used first
    mutable int m_pagesFetched = 0;
};
