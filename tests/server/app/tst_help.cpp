// SPDX-License-Identifier: Apache-2.0
// The console's help: where it is found in each layout, that its pages hold together, and
// that F1 in the console window and the About box open it (or do nothing without it).
#include "server/app/console.h"
#include "server/core/helpfile.h"
#include "server/core/ui/frmabout.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/helpviewer.h"
#include "support/consoleconf.h"
#include "support/testhome.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
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

// Sets $VANTIROKIT_HELP for one scope.
class HelpOverride
{
public:
    explicit HelpOverride(const QString& value) { qputenv("VANTIROKIT_HELP", value.toLocal8Bit()); }
    ~HelpOverride() { qunsetenv("VANTIROKIT_HELP"); }
    HelpOverride(const HelpOverride&) = delete;
    HelpOverride& operator=(const HelpOverride&) = delete;
};

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

    void foundInTheInstalledLayoutThenBesideTheProgram()
    {
        QTemporaryDir tmp;
        // Blanks and a '#' in a folder name must survive the way into a file address.
        const QString prefix = tmp.filePath(QStringLiteral("cafe #1/usr"));
        const QString bin = prefix + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        QCOMPARE(HelpFile::locate(bin), QString());
        QCOMPARE(HelpFile::locate(QString()), QString());

        const QString beside = bin + QStringLiteral("/help/index.html");
        writeFile(beside);
        QCOMPARE(HelpFile::locate(bin), canonical(beside));

        // An installed help folder without its start page does not count.
        const QString installedDir = prefix + QStringLiteral("/share/vantirokit/help");
        QVERIFY(QDir().mkpath(installedDir));
        QCOMPARE(HelpFile::locate(bin), canonical(beside));

        const QString installed = installedDir + QStringLiteral("/index.html");
        writeFile(installed);
        QCOMPARE(HelpFile::locate(bin), canonical(installed));
        QCOMPARE(HelpFile::locate(bin + QStringLiteral("/")), canonical(installed));
    }

    void theEnvironmentOverridesEveryOtherPlace()
    {
        QTemporaryDir tmp;
        const QString bin = tmp.filePath(QStringLiteral("usr/bin"));
        writeFile(tmp.filePath(QStringLiteral("usr/share/vantirokit/help/index.html")));
        const QString own = tmp.filePath(QStringLiteral("my help/start.html"));
        writeFile(own);
        writeFile(tmp.filePath(QStringLiteral("my help/index.html")));
        {
            HelpOverride file(own);
            QCOMPARE(HelpFile::locate(bin), canonical(own));
        }
        {
            HelpOverride folder(tmp.filePath(QStringLiteral("my help")));
            QCOMPARE(HelpFile::locate(bin),
                     canonical(tmp.filePath(QStringLiteral("my help/index.html"))));
        }
        {
            // Pointing at nothing means no help, not the installed one.
            HelpOverride missing(tmp.filePath(QStringLiteral("nowhere")));
            QCOMPARE(HelpFile::locate(bin), QString());
        }
        {
            HelpOverride empty(QString{});
            QCOMPARE(
                HelpFile::locate(bin),
                canonical(tmp.filePath(QStringLiteral("usr/share/vantirokit/help/index.html"))));
        }
    }

    // The build tree keeps the help where an installed console looks for it, and its pages
    // hold together: every link and anchor resolves, every page is reachable.
    void theBuiltHelpIsCompleteAndItsLinksResolve()
    {
        const QString start = HelpFile::locate();
        QVERIFY2(!start.isEmpty(), "no help beside the test program's build tree");
        QVERIFY(start.endsWith(QLatin1String("/share/vantirokit/help/index.html")));
        const QDir dir = QFileInfo(start).absoluteDir();
        for (const char* page :
             {"daily-work.html", "settlement.html", "members.html", "prepaid.html", "reports.html",
              "options.html", "housekeeping.html", "install-workstation.html", "style.css"}) {
            QVERIFY2(dir.exists(QString::fromLatin1(page)), page);
        }

        const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
        const QRegularExpression anchorOf(QStringLiteral("\\b(?:id|name)=\"([^\"]+)\""));
        QHash<QString, QSet<QString>> anchors;
        QHash<QString, QString> texts;
        QDirIterator it(dir.path(), {QStringLiteral("*.html")}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            const QString name = QFileInfo(path).fileName();
            texts.insert(name, text);
            for (const auto& m : anchorOf.globalMatch(text)) {
                anchors[name].insert(m.captured(1));
            }
        }
        QSet<QString> linkedTo;
        for (auto page = texts.cbegin(); page != texts.cend(); ++page) {
            QVERIFY2(page.value().contains(QLatin1String("href=\"style.css\"")),
                     qPrintable(page.key() + " has not the stylesheet"));
            for (const auto& m : link.globalMatch(page.value())) {
                const QString target = m.captured(1);
                const QUrl url(target);
                if (!url.scheme().isEmpty()) {
                    continue; // a page outside the help
                }
                const QString file = url.path().isEmpty() ? page.key() : url.path();
                const QString where = page.key() + " -> " + target;
                QVERIFY2(!file.contains(QLatin1Char('/')), qPrintable(where));
                QVERIFY2(dir.exists(file), qPrintable(where + ": no such file"));
                if (url.hasFragment()) {
                    QVERIFY2(anchors.value(file).contains(url.fragment()),
                             qPrintable(where + ": no such anchor"));
                }
                linkedTo.insert(file);
            }
        }
        for (auto page = texts.cbegin(); page != texts.cend(); ++page) {
            if (page.key() != QLatin1String("index.html")) {
                QVERIFY2(linkedTo.contains(page.key()), qPrintable(page.key() + " is unreachable"));
                QVERIFY2(page.value().contains(QLatin1String("href=\"index.html\"")),
                         qPrintable(page.key() + " has no way back to the contents"));
            }
        }
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
        QVERIFY(window.isVisible());
        // The menu offers the help too, on the same key.
        QAction* menuItem = window.action(QStringLiteral("mnuhelp"));
        QVERIFY(menuItem != nullptr);
        QCOMPARE(menuItem->shortcut(), QKeySequence(QKeySequence::HelpContents));
        QVERIFY(window.menuBar()->findChildren<QMenu*>().contains(
            qobject_cast<QMenu*>(menuItem->parent())));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        {
            HelpOverride help(home.file(QStringLiteral("help #2")));
            QTest::keyClick(&window, Qt::Key_F1);
            QCOMPARE(m_opened.size(), 1);
            QCOMPARE(m_opened.first(), QUrl::fromLocalFile(canonical(page)));
        }
        {
            HelpOverride none(home.file(QStringLiteral("no help here")));
            QTest::keyClick(&window, Qt::Key_F1);
            QCOMPARE(m_opened.size(), 1);
        }
        console.shutDown();
    }

    void theAboutBoxOpensTheHelpWhenThereIsSome()
    {
        TestHome home;
        const QString page = home.file(QStringLiteral("help/index.html"));
        writeFile(page);
        // Without help the button is greyed out and a press opens nothing more.
        for (const bool there : {true, false}) {
            HelpOverride help(home.file(QLatin1String(there ? "help" : "missing")));
            FrmAbout about;
            auto* button = about.findChild<QPushButton*>(QStringLiteral("cmdHelp"));
            QVERIFY(button != nullptr);
            QCOMPARE(button->isEnabled(), there);
            button->click();
            QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(canonical(page))});
        }
    }

    // A machine without a browser shows the help in the console's own window.
    void withoutABrowserTheHelpShowsInItsOwnWindow()
    {
        TestHome home;
        writeFile(home.file(QStringLiteral("help/index.html")),
                  "<html><body><h1>Daily work</h1><a href=\"next.html\">next</a></body></html>");
        writeFile(home.file(QStringLiteral("help/next.html")),
                  "<html><body><p>Second page</p></body></html>");
        HelpOverride help(home.file(QStringLiteral("help")));
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
        const auto shown = [] {
            QList<QDialog*> out;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QLatin1String("frmhelp") && w->isVisible()) {
                    out << qobject_cast<QDialog*>(w);
                }
            }
            return out;
        };
        const bool opened = HelpViewer::show();
        const bool again = HelpViewer::show();
        qputenv("PATH", path);
        qputenv("BROWSER", "true");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
        QVERIFY(opened && again);
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(shown().size(), 1);
        QDialog* window = shown().first();
        auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("txthelp"));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Daily work")));
        browser->setSource(QUrl(QStringLiteral("next.html")));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Second page")));
        window->findChild<QPushButton*>(QStringLiteral("cmdcontents"))->click();
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Daily work")));
        window->close();
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
