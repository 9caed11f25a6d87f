// SPDX-License-Identifier: Apache-2.0
// vkcopydb FROM TO: moves a cafe's data from one database into another, empty one (a
// console's SQLite file into the PostgreSQL database the desks share, or back), then reads
// both and says, table by table, whether every row arrived as it was.
#include "server/core/database.h"
#include "server/desks/databasecopy.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>
#include <optional>

namespace {

const char* const Usage =
    "Usage: vkcopydb FROM TO\n"
    "Copies every table of the console's database FROM into the empty database TO, then\n"
    "compares them. Each of FROM and TO is a SQLite file or\n"
    "postgresql://user@host:port/database (a Unix socket folder as ?host=/folder).\n"
    "The password comes from PGPASSWORD or ~/.pgpass, never from the command line.\n";

void say(FILE* to, const QString& text)
{
    std::fputs(qPrintable(text + u'\n'), to);
}

// What an argument names; nullopt (after saying why) when it names nothing usable.
std::optional<DatabaseTarget> targetOf(const QString& arg, bool mustExist)
{
    if (!arg.startsWith(QLatin1String("postgresql://")) &&
        !arg.startsWith(QLatin1String("postgres://"))) {
        const QFileInfo file(arg);
        if (mustExist && !file.isFile()) {
            say(stderr, arg + QStringLiteral(": no such file"));
            return std::nullopt;
        }
        return DatabaseTarget::sqlite(file.absoluteFilePath());
    }
    const QUrl url(arg, QUrl::StrictMode);
    if (!url.isValid() || url.path().size() < 2) {
        // Not echoed: a mistyped address may still carry a password.
        say(stderr, QStringLiteral("Expected postgresql://user@host:port/database"));
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        // Whatever is on a command line can be read by every user of the computer.
        say(stderr, QStringLiteral("Give the password in PGPASSWORD or ~/.pgpass, not on the "
                                   "command line."));
        return std::nullopt;
    }
    DatabaseTarget t;
    t.kind = DatabaseTarget::Kind::PostgreSQL;
    t.host = url.host();
    const QString socketFolder =
        QUrlQuery(url).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (!socketFolder.isEmpty()) {
        t.host = socketFolder;
    }
    if (t.host.isEmpty()) {
        t.host = QStringLiteral("localhost");
    }
    t.port = url.port(5432);
    t.name = url.path(QUrl::FullyDecoded).mid(1);
    t.user = url.userName(QUrl::FullyDecoded);
    return t;
}

bool openTarget(Database& db, const DatabaseTarget& target)
{
    if (db.open(target)) {
        return true;
    }
    say(stderr, QStringLiteral("Cannot open %1: %2").arg(target.describe(), db.lastError()));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        std::printf("vkcopydb %s\n", VK_VERSION);
        return 0;
    }
    if (args == QStringList{QStringLiteral("--help")}) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (args.size() != 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const auto fromTarget = targetOf(args.at(0), true);
    const auto toTarget = targetOf(args.at(1), false);
    if (!fromTarget || !toTarget) {
        return 2;
    }
    Database from;
    Database to;
    if (!openTarget(from, *fromTarget) || !openTarget(to, *toTarget)) {
        return 2;
    }
    const DatabaseCopy::Result copied = DatabaseCopy::copy(from, to);
    if (!copied.ok()) {
        say(stderr, copied.error + QStringLiteral(" Nothing was copied."));
        return 2;
    }
    const DatabaseCopy::Result compared = DatabaseCopy::compare(from, to);
    for (const DatabaseCopy::Table& t : compared.tables) {
        QString line = QStringLiteral("%1: %2 rows").arg(t.name).arg(t.rows);
        if (t.otherRows != t.rows) {
            line += QStringLiteral(", %1 in the copy").arg(t.otherRows);
        }
        line += t.same ? QStringLiteral(", same") : QStringLiteral(", different: ") + t.difference;
        say(stdout, line);
    }
    return compared.same() ? 0 : 1;
}
