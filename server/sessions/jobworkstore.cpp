// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/jobworkstore.h"

#include "server/core/database.h"

#include <QSet>
#include <QSqlRecord>

namespace {

QString withoutTrailingBlanks(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1).isSpace()) {
        --n;
    }
    return s.left(n);
}

} // namespace

JobWorkStore::JobWorkStore(Database& db) : m_db(db) {}

QList<JobWorkStore::Item> JobWorkStore::catalogue() const
{
    QList<Item> out;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT Type, amount FROM jobwork ORDER BY rowid"))) {
        out.append({r.value(0).toString(), Money::fromVariant(r.value(1))});
    }
    return out;
}

bool JobWorkStore::saveCatalogue(const QList<CatalogueRow>& rows)
{
    const bool ok = m_db.transaction(
        [&] {
            if (!m_db.run(QStringLiteral("DELETE FROM jobwork"), {},
                          QStringLiteral("frmjobwork cmd save"))) {
                return false;
            }
            if (!m_db.run(QStringLiteral("DELETE FROM jobwork_entered"), {},
                          QStringLiteral("frmjobwork cmd save"))) {
                return false;
            }
            QSet<QString> seen;
            for (const CatalogueRow& row : rows) {
                const QString type = withoutTrailingBlanks(row.type);
                if (type.trimmed().isEmpty() || seen.contains(type)) {
                    continue;
                }
                seen.insert(type);
                if (!m_db.run(QStringLiteral("INSERT INTO jobwork (Type, amount, qty, totamt) "
                                             "VALUES (?, ?, 0, 0)"),
                              {type, Money::parse(row.amount).toVariant()},
                              QStringLiteral("frmjobwork cmd save"))) {
                    return false;
                }
            }
            return true;
        },
        QStringLiteral("frmjobwork cmd save"));
    if (ok) {
        m_db.notifyChanged(QStringLiteral("jobwork"));
    }
    return ok;
}

bool JobWorkStore::clearQuantities()
{
    return m_db.run(QStringLiteral("DELETE FROM jobwork_entered"), {},
                    QStringLiteral("cmdendsession_Click"));
}

QList<JobWorkStore::Line> JobWorkStore::lines() const
{
    QList<Line> out;
    for (const QSqlRecord& r : m_db.rows(QStringLiteral(
             "SELECT j.Type, j.amount, e.qty, e.totamt FROM jobwork j LEFT JOIN jobwork_entered e "
             "ON e.Type = j.Type ORDER BY j.rowid"))) {
        out.append({r.value(0).toString(), Money::fromVariant(r.value(1)),
                    Money::fromVariant(r.value(2)).toString(), Money::fromVariant(r.value(3))});
    }
    return out;
}

bool JobWorkStore::storeQuantities(const QList<Line>& lines)
{
    const QString label = QStringLiteral("frmjobworkdetails Form_Unload");
    return m_db.transaction(
        [&] {
            if (!m_db.run(QStringLiteral("DELETE FROM jobwork_entered"), {}, label)) {
                return false;
            }
            for (qsizetype i = 0; i < lines.size(); ++i) {
                const Line& l = lines.at(i);
                if (!m_db.run(QStringLiteral("INSERT INTO jobwork_entered (line, Type, qty, "
                                             "totamt) VALUES (?, ?, ?, ?)"),
                              {qint64(i), withoutTrailingBlanks(l.type),
                               Money::parse(l.qty).toVariant(), l.netAmount.toVariant()},
                              label)) {
                    return false;
                }
            }
            return true;
        },
        label);
}

Money JobWorkStore::total() const
{
    Money sum;
    for (const QSqlRecord& r : m_db.rows(QStringLiteral("SELECT totamt FROM jobwork_entered"))) {
        sum += Money::fromVariant(r.value(0));
    }
    return sum;
}

Money JobWorkStore::lineAmount(Money unit, const QString& qty)
{
    return unit.times(Money::parse(qty));
}
