// SPDX-License-Identifier: Apache-2.0
// The history list over many bills: composing it and writing it as PDF, HTML, RTF and text.
// Targets at 100,000 rows: PDF at most 5 s, each other kind at most 2 s, peak resident memory
// under 300 MB.

#include "server/accounts/reportdocument.h"
#include "server/accounts/reportexport.h"
#include "server/accounts/ui/preview.h"
#include "server/accounts/ui/printing.h"
#include "server/core/database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <ctime>

namespace {

// Processor time of this process, so that figures taken on a busy machine can be judged.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long peakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& l : lines) {
        if (l.startsWith("VmHWM:")) {
            return l.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

bool fillHistory(Database& db, int rows)
{
    return db.transaction([&] {
        const QString terminals[] = {QStringLiteral("PC-01"), QStringLiteral("PC-02"),
                                     QStringLiteral("PC-03"), QStringLiteral("Counter")};
        QDateTime start(QDate(2026, 1, 1), QTime(9, 0));
        for (int i = 1; i <= rows; ++i) {
            const QDateTime end = start.addSecs(600 + (i % 97) * 60);
            const double net = (i % 40) * 2.5 + 0.25;
            if (!db.run(
                    QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, "
                                   "user, memberid, duration, charge, netamount, received) "
                                   "VALUES (?, ?, ?, ?, '10.0.0.9', 'Regular', '', ' 0: 10: 0', "
                                   "?, ?, ?)"),
                    {i, Database::timeText(start), Database::timeText(end), terminals[i % 4], net,
                     i % 50 == 0 ? QVariant() : QVariant(net), net})) {
                return false;
            }
            start = start.addSecs(300);
        }
        return true;
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("VANTIROKIT_HOME", dir.path().toLocal8Bit());
    Preview::setSkipModal(true);

    Database db;
    if (!db.open(dir.filePath(QStringLiteral("server.db")))) {
        std::fprintf(stderr, "cannot open the database\n");
        return 1;
    }
    // An optional argument caps the largest list (for profiling a smaller run).
    const int cap = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QList<int> sizes;
    for (const int n : {1000, 10000, 100000}) {
        if (n <= cap) {
            sizes.append(n);
        }
    }
    if (sizes.isEmpty() || !fillHistory(db, sizes.last())) {
        std::fprintf(stderr, "cannot fill the history\n");
        return 1;
    }

    QTextStream out(stdout);
    out << "Seconds as wall/cpu (cpu: this process's processor time).\n"
        << "rows     compose        pages  pdf            html           rtf            text"
           "           pdf_MB  peak_rss_MB\n";
    auto pair = [](double wall, double cpu) {
        return QString::asprintf("%6.3f/%-6.3f", wall, cpu);
    };
    for (const int n : sizes) {
        QElapsedTimer t;
        ReportDocument doc;
        double composeCpu = 0;
        {
            const QList<QSqlRecord> rows =
                db.rows(QStringLiteral("SELECT * FROM history ORDER BY billno LIMIT ?"), {n});
            t.start();
            const double c0 = cpuSeconds();
            PrintHistoryList(
                db, QStringLiteral("HISTORY DETAILS BETWEEN BILL NO From 1 To %1").arg(n), rows);
            doc = Preview::lastDocument();
            composeCpu = cpuSeconds() - c0;
        }
        const double compose = t.nsecsElapsed() / 1e9;
        int pages = 0;
        {
            ReportPages p(doc);
            pages = p.pageCount();
        }
        double secs[4] = {};
        double cpu[4] = {};
        const ReportExport::Kind kinds[] = {ReportExport::Kind::Pdf, ReportExport::Kind::Html,
                                            ReportExport::Kind::Rtf, ReportExport::Kind::Text};
        for (int k = 0; k < 4; ++k) {
            QString error;
            const QString path = dir.filePath(ReportExport::fileName(kinds[k]));
            t.restart();
            const double c0 = cpuSeconds();
            if (!ReportExport::writeFile(doc, kinds[k], path, &error)) {
                std::fprintf(stderr, "export failed: %s\n", qPrintable(error));
                return 1;
            }
            secs[k] = t.nsecsElapsed() / 1e9;
            cpu[k] = cpuSeconds() - c0;
        }
        const double pdfMb =
            QFileInfo(dir.filePath(QStringLiteral("Report.pdf"))).size() / 1048576.0;
        out << QString::asprintf("%-8d ", n) << pair(compose, composeCpu)
            << QString::asprintf("  %5d  ", pages) << pair(secs[0], cpu[0]) << "  "
            << pair(secs[1], cpu[1]) << "  " << pair(secs[2], cpu[2]) << "  "
            << pair(secs[3], cpu[3])
            << QString::asprintf("  %6.1f  %8.1f\n", pdfMb, peakRssKb() / 1024.0);
        out.flush();
    }
    out << "targets at 100000 rows: compose + pdf <= 5 s, html, rtf and text <= 2 s each, "
           "peak RSS < 300 MB\n";
    return 0;
}
