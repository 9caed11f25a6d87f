// SPDX-License-Identifier: Apache-2.0
// How fast the console comes up with a large history: for 10k, 100k and 1M billed sessions,
// the time from starting the vkserver process to its window shown with the last history row
// visible, and the console's peak resident memory. Targets: at most 1 s and under 150 MB.
#include "common/money.h"
#include "server/core/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

void fill(const QString& path, int rows)
{
    Database db;
    db.open(path);
    db.transaction([&] {
        const QVariant charge = Money::parse(u"12.5").toVariant();
        for (int i = 1; i <= rows; ++i) {
            db.run("INSERT INTO history (billno, sstart, send, terminal, cip, user, memberid, "
                   "duration, charge, netamount, received) VALUES (?, '2026-01-01 10:00:00', "
                   "'2026-01-01 11:05:00', ?, '192.168.1.20', 'Normal', '', ' 1: 5: 0', ?, ?, ?)",
                   {i, QStringLiteral("PC%1").arg(i % 40), charge, charge, charge});
        }
        return true;
    });
    db.close();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString exe = QCoreApplication::applicationDirPath() + "/../bin/vkserver";
    QTextStream out(stdout);
    out << "rows      start-to-last-row-shown  peak-RSS\n";
    for (int rows : {10000, 100000, 1000000}) {
        QTemporaryDir home;
        QFile conf(home.filePath("vantirokit.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"0\"\n");
        conf.close();
        fill(home.filePath("server.db"), rows);

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTIROKIT_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VANTIROKIT_EXIT_WHEN_SHOWN", "1");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        QElapsedTimer t;
        t.start();
        p.start(exe, {});
        p.waitForFinished(60000);
        const QString report = QString::fromUtf8(p.readAllStandardOutput());
        // The console reports when its window is up and the last row is visible.
        QString rss = "?";
        QString lastRow = "?";
        for (const QString& line : report.split('\n')) {
            if (line.startsWith("peak-rss-kb=")) {
                rss = QString::number(line.mid(12).toLongLong() / 1024.0, 'f', 1) + " MB";
            } else if (line.startsWith("last-visible-bill=")) {
                lastRow = line.mid(18);
            }
        }
        out << QString("%1 %2 ms (last visible bill %3)  %4\n")
                   .arg(rows, -9)
                   .arg(t.elapsed(), 8)
                   .arg(lastRow)
                   .arg(rss);
        out.flush();
    }
    return 0;
}
