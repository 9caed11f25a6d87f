// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/database.h"
#include "server/sessions/jobworkstore.h"
#include "server/sessions/sessionservice.h"

#include <utility>

// A bill made as the cashier makes one: a session starts on the console's own workstation
// "PC1" (for `member` when one is given) and is settled through the session service with the
// job-work quantities given. Header-only: only tests that link the sessions library use it.
namespace BilledSession {

struct Bill
{
    QString member;
    Money received;
    Money charge;
    QList<std::pair<QString, QString>> jobWork; // catalogued type, quantity as typed
};

inline SettleResult settle(Database& db, const Bill& bill)
{
    SessionService service(db);
    if (!service.categoryExists(QStringLiteral("Std"))) {
        db.run(
            QStringLiteral("INSERT INTO user_category (\"user\", Description) VALUES ('Std', '')"));
    }
    if (!service.findOnline(QStringLiteral("PC1"))) {
        db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES ('PC1', '127.0.0.1', 0)"));
    }
    StartRequest start;
    start.terminal = QStringLiteral("PC1");
    start.category = QStringLiteral("Std");
    start.memberId = bill.member;
    const auto session =
        service.start(start).ok ? service.findSession(QStringLiteral("PC1")) : std::nullopt;
    if (!session) {
        return {};
    }
    JobWorkStore jobs(db);
    QList<JobWorkStore::Line> lines;
    Money other;
    for (const auto& item : jobs.catalogue()) {
        QString qty = QStringLiteral("0");
        for (const auto& [type, q] : bill.jobWork) {
            qty = type == item.type ? q : qty;
        }
        const Money amount = JobWorkStore::lineAmount(item.amount, qty);
        lines.append({item.type, item.amount, qty, amount});
        other += amount;
    }
    jobs.clearQuantities();
    jobs.storeQuantities(lines);
    SettleRequest req;
    req.sessionRowid = session->rowid;
    req.sstart = session->sstart;
    req.duration = QStringLiteral(" 0: 30: 0");
    req.userLabel = QStringLiteral("Std");
    req.received = bill.received;
    req.charge = bill.charge;
    req.other = other;
    req.net = bill.charge + other;
    return service.settle(req);
}

} // namespace BilledSession
