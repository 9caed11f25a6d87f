// SPDX-License-Identifier: Apache-2.0
// The console's help: where it is found in each layout, and that F1 in the console window
// opens it.
#include "server/app/console.h"
#include "server/core/helpfile.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/helpviewer.h"
#include "support/consoleconf.h"
#include "support/datarow.h"
#include "support/testhome.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

namespace {

void writeFile(const QString& path, const QByteArray& text = "<html></html>\n")
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    // Stands in for the desktop's browser.
    void openFile(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("VANTIROKIT_HELP");
        // The desktop has a browser; the handler below stands in for it.
        qputenv("BROWSER", "true");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init() { m_opened.clear(); }
    void cleanup() { qunsetenv("VANTIROKIT_HELP"); }

    // The help of a program in usr/bin: from the files there and $VANTIROKIT_HELP ("-": unset),
    // the page found ("" none).
    void foundInTheInstalledLayoutThenBesideTheProgram_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("found");
        const QString beside = QStringLiteral("usr/bin/help/index.html");
        const QString installed = QStringLiteral("usr/share/vantirokit/help/index.html");
        // An installed help folder without its start page does not count.
        dataRow("installed folder, no start page",
                QStringList{beside, QStringLiteral("usr/share/vantirokit/help/other.html")}, "-",
                beside);
        dataRow("installed", QStringList{beside, installed}, "-", installed);
        // Pointing at nothing means no help, not the installed one.
        dataRow("override: nothing", QStringList{installed}, "nowhere", "");
    }
    void foundInTheInstalledLayoutThenBesideTheProgram()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, env);
        QFETCH(QString, found);
        QTemporaryDir tmp;
        // Blanks and a '#' in a folder name must survive the way into a file address.
        const QDir root(tmp.filePath(QStringLiteral("cafe #1")));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("usr/bin"))));
        for (const QString& f : files) {
            writeFile(root.filePath(f));
        }
        if (env != QLatin1String("-")) {
            qputenv("VANTIROKIT_HELP", root.filePath(env).toLocal8Bit());
        }
        QCOMPARE(HelpFile::locate(root.filePath(QStringLiteral("usr/bin"))),
                 found.isEmpty() ? QString() : canonical(root.filePath(found)));
    }

    void f1InTheConsoleWindowOpensTheHelp()
    {
        TestHome home;
        // The new cafe setup would hold the console window's keys while it is open.
        writeConsoleSettings(home, 0, "\"firstrundone\"=\"1\"\n");
        const QString page = home.file(QStringLiteral("help #2/index.html"));
        writeFile(page);

        Console console;
        console.start();
        FrmMain& window = console.window();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        qputenv("VANTIROKIT_HELP", home.file(QStringLiteral("help #2")).toLocal8Bit());
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(canonical(page))});
        console.shutDown();
    }

    // A machine without a browser shows the help in the console's own window.
    void withoutABrowserTheHelpShowsInItsOwnWindow()
    {
        TestHome home;
        writeFile(home.file(QStringLiteral("help/index.html")),
                  "<html><body><h1>Daily work</h1></body></html>");
        qputenv("VANTIROKIT_HELP", home.file(QStringLiteral("help")).toLocal8Bit());
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        const QByteArray path = qgetenv("PATH");
        // The desktop's opener is there and takes the page, but has no browser to give it to.
        const QString programs = home.file(QStringLiteral("no browser"));
        writeFile(programs + QStringLiteral("/xdg-open"), "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(programs + QStringLiteral("/xdg-open"),
                              QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", programs.toLocal8Bit());
        for (const char* name : {"BROWSER", "DEFAULT_BROWSER"}) {
            qunsetenv(name);
        }
        const bool opened = HelpViewer::show();
        const bool again = HelpViewer::show();
        qputenv("PATH", path);
        qputenv("BROWSER", "true");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
        QVERIFY(opened && again);
        QVERIFY(m_opened.isEmpty());
        QList<QWidget*> shown;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("frmhelp") && w->isVisible()) {
                shown << w;
            }
        }
        QCOMPARE(shown.size(), 1);
        QWidget* window = shown.first();
        QVERIFY(window->findChild<QTextBrowser*>(QStringLiteral("txthelp"))
                    ->toPlainText()
                    .contains(QStringLiteral("Daily work")));
        window->close();
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
