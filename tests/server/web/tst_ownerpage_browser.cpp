// SPDX-License-Identifier: Apache-2.0
// The owner's page in a real browser: headless chromium driven over WebDriver loads it from
// the console's own server over a seeded database, is refused a wrong password, logs in, and
// shows the figures the database holds, on a phone's screen and a desktop's.
#include "common/clock.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/weboptions.h"
#include "server/insight/shifts.h"
#include "server/web/ownerweb.h"
#include "server/web/webserver.h"
#include "support/systemwait.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString Password = QStringLiteral("owner's secret");
// The W3C name of an element reference in WebDriver answers.
const QString ElementKey = QStringLiteral("element-6066-11e4-a52e-4f735466cecf");

// A WebDriver session over HTTP; every call waits for its answer with the event loop running,
// so the console's server in this process keeps answering the browser.
class Driver
{
public:
    explicit Driver(quint16 port) : m_base(QStringLiteral("http://127.0.0.1:%1").arg(port)) {}

    QJsonValue call(const QByteArray& method, const QString& path, const QJsonObject& body = {})
    {
        QNetworkRequest request(QUrl(m_base + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        request.setTransferTimeout(60000);
        QNetworkReply* reply = m_net.sendCustomRequest(
            request, method, method == "GET" ? QByteArray() : QJsonDocument(body).toJson());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonValue answer = QJsonDocument::fromJson(reply->readAll())["value"];
        error = reply->errorString() + u' ' + answer["message"].toString();
        reply->deleteLater();
        return answer;
    }
    QString error; // of the last call, when it failed

    QJsonValue session(const QByteArray& method, const QString& path, const QJsonObject& body = {})
    {
        return call(method, QStringLiteral("/session/") + m_session + path, body);
    }
    bool start(const QString& browser)
    {
        const QJsonObject options{
            {QStringLiteral("binary"), browser},
            {QStringLiteral("args"),
             QJsonArray{QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                        QStringLiteral("--disable-gpu"),
                        QStringLiteral("--disable-dev-shm-usage")}}};
        const QJsonObject caps{
            {QStringLiteral("capabilities"),
             QJsonObject{{QStringLiteral("alwaysMatch"),
                          QJsonObject{{QStringLiteral("goog:chromeOptions"), options}}}}}};
        m_session = call("POST", QStringLiteral("/session"), caps)["sessionId"].toString();
        return !m_session.isEmpty();
    }
    void go(const QString& url) { session("POST", QStringLiteral("/url"), {{"url", url}}); }
    QString url() { return session("GET", QStringLiteral("/url")).toString(); }
    QString element(const QString& css)
    {
        return session("POST", QStringLiteral("/element"),
                       {{"using", "css selector"}, {"value", css}})[ElementKey]
            .toString();
    }
    QString text(const QString& css)
    {
        return session("GET", QStringLiteral("/element/%1/text").arg(element(css))).toString();
    }
    void type(const QString& css, const QString& keys)
    {
        session("POST", QStringLiteral("/element/%1/value").arg(element(css)), {{"text", keys}});
    }
    void click(const QString& css)
    {
        session("POST", QStringLiteral("/element/%1/click").arg(element(css)));
    }
    QJsonValue script(const QString& body)
    {
        return session("POST", QStringLiteral("/execute/async"),
                       {{"script", body}, {"args", QJsonArray()}});
    }
    // The page's viewport exactly so, as a phone's (`mobile`) or a desktop's; the window of a
    // headless browser has a smallest width of its own.
    void viewport(int width, int height, bool mobile)
    {
        session("POST", QStringLiteral("/goog/cdp/execute"),
                {{"cmd", "Emulation.setDeviceMetricsOverride"},
                 {"params", QJsonObject{{"width", width},
                                        {"height", height},
                                        {"deviceScaleFactor", 1},
                                        {"mobile", mobile}}}});
    }
    QByteArray screenshot()
    {
        return QByteArray::fromBase64(
            session("GET", QStringLiteral("/screenshot")).toString().toLatin1());
    }

private:
    QNetworkAccessManager m_net;
    QString m_base;
    QString m_session;
};

} // namespace

class TstOwnerPageBrowser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pageShowsTheDatabasesFigures();
};

void TstOwnerPageBrowser::pageShowsTheDatabasesFigures()
{
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    const QString driverProgram = QStandardPaths::findExecutable(QStringLiteral("chromedriver"));
    if (browser.isEmpty() || driverProgram.isEmpty()) {
        QSKIP("chromium and chromedriver are not installed (tools/deps.sh installs them)");
    }
    Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(18, 20)));
    LinkConsole c;
    const auto bill = [&c](int no, const char* end, const char* category, const char* net,
                           const char* received) {
        QVERIFY(c.db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, "
                                        "\"user\", charge, otheramt, netamount, received) VALUES "
                                        "(?, ?, ?, 'PC-7', ?, ?, 0, ?, ?)"),
                         {no, QString::fromLatin1(end), QString::fromLatin1(end),
                          QString::fromLatin1(category), QString::fromLatin1(net),
                          QString::fromLatin1(net), QString::fromLatin1(received)}));
    };
    bill(1, "2026-12-06 21:00:00", "Browsing", "40.00", "40.00"); // yesterday
    bill(2, "2026-12-07 09:15:00", "Browsing", "12.50", "12.50");
    bill(3, "2026-12-07 11:40:00", "Gaming", "30.25", "30.00");
    QVERIFY(Shifts::close(c.db, QDateTime(QDate(2026, 12, 7), QTime(12, 0)),
                          QStringLiteral("admin"), Money::parse(u"82.50")));
    bill(4, "2026-12-07 15:05:00", "Gaming", "7.75", "7.75");
    c.addSession(QStringLiteral("127.0.0.3"), 5); // running, its agent gone
    FakeAgent idle;
    QVERIFY(idle.connectFrom(QStringLiteral("127.0.0.4"), c.port()));
    QTRY_COMPARE(c.onlineRows(), 1);

    const QString settings = c.home.file(QStringLiteral("settings.ini"));
    WebOptions::Values v;
    v.enabled = true;
    v.port = SystemTest::freePort();
    v.addresses = {QStringLiteral("127.0.0.1")};
    QCOMPARE(WebOptions(settings).save(v), QString());
    WebOptions(settings).setPassword(Password);
    // Shown as the text it is: neither markup nor a place for the page's own figures.
    const QString cafe = QStringLiteral("<i>Sunrise</i> {{stations}} & Co");
    ConsoleSettings(settings).setCafeName(cafe);
    OwnerWeb web(c.db, 2, &c.server, settings);
    QVERIFY(web.apply().startsWith(QStringLiteral("Owner's page at http://127.0.0.1:")));
    const QString page = QStringLiteral("http://127.0.0.1:%1/").arg(web.server()->serverPort());

    QProcess chromedriver;
    const quint16 driverPort = SystemTest::freePort();
    chromedriver.start(driverProgram, {QStringLiteral("--port=%1").arg(driverPort)});
    QVERIFY(chromedriver.waitForStarted());
    Driver d(driverPort);
    QTRY_VERIFY_WITH_TIMEOUT(d.call("GET", QStringLiteral("/status"))["ready"].toBool(), 30000);
    QVERIFY2(d.start(browser), qPrintable(d.error));

    d.go(page);
    QCOMPARE(d.url(), page + QStringLiteral("login"));
    d.type(QStringLiteral("#password"), QStringLiteral("not it"));
    // A click answers before the form's page has come; each check waits for it.
    d.click(QStringLiteral("#enter"));
    QTRY_COMPARE(d.text(QStringLiteral("#notice")), QStringLiteral("Wrong password."));
    d.type(QStringLiteral("#password"), Password);
    d.click(QStringLiteral("#enter"));
    QTRY_COMPARE(d.url(), page);

    QCOMPARE(d.text(QStringLiteral("h1")), cafe);
    // What the database says of today, summed here on its own.
    const auto sum = [&c](const char* column, const QString& where) {
        return Money::fromVariant(c.value(QStringLiteral("SELECT sum(%1) FROM history WHERE ")
                                              .arg(QLatin1String(column)) +
                                          where))
            .toFixed(2);
    };
    const QString today = QStringLiteral("substr(send, 1, 10) = '2026-12-07' AND billno > 0");
    const QString billed = sum("netamount", today);
    QCOMPARE(billed, QStringLiteral("50.50"));
    QCOMPARE(d.text(QStringLiteral("#billed")), billed);
    QCOMPARE(d.text(QStringLiteral("#received")), sum("received", today));
    QCOMPARE(d.text(QStringLiteral("#bills")),
             c.value(QStringLiteral("SELECT count(*) FROM history WHERE ") + today).toString());
    QCOMPARE(d.text(QStringLiteral("#openshift")), sum("netamount", QStringLiteral("billno = 4")));
    QCOMPARE(d.text(QStringLiteral("#shifts tr td:nth-child(4)")),
             sum("netamount", QStringLiteral("billno < 4")));
    QCOMPARE(d.text(QStringLiteral("#stations tr:nth-child(1)")), QStringLiteral("127.0.0.4 Free"));
    QVERIFY(d.text(QStringLiteral("#stations tr:nth-child(2)"))
                .startsWith(QStringLiteral("PC-3 Disconnected Browsing")));
    // The page's own refresh reads the same figures.
    QCOMPARE(d.script(QStringLiteral("const done = arguments[arguments.length - 1];"
                                     "fetch('/now.json').then(r => r.json())"
                                     ".then(j => done(j.billed));"))
                 .toString(),
             billed);

    const QString shots = qEnvironmentVariable("VK_WEB_SHOTS_DIR");
    const auto shoot = [&](const QString& name) {
        const QByteArray png = d.screenshot();
        if (!shots.isEmpty()) {
            QFile f(QDir(shots).filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(png) == png.size());
        }
    };
    d.viewport(390, 844, true);
    shoot(QStringLiteral("owner-page-phone.png"));
    d.viewport(1280, 900, false);
    shoot(QStringLiteral("owner-page-desktop.png"));

    d.session("DELETE", QString());
    chromedriver.terminate();
    chromedriver.waitForFinished(10000);
    Clock::reset();
}

QTEST_GUILESS_MAIN(TstOwnerPageBrowser)
#include "tst_ownerpage_browser.moc"
