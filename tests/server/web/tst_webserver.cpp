// SPDX-License-Identifier: Apache-2.0
// The owner's page against hostile clients on a real loopback socket, with a workstation
// agent on the console's link that must keep being answered throughout.
#include "common/clock.h"
#include "common/protocol.h"
#include "server/accounts/weboptions.h"
#include "server/web/ownerweb.h"
#include "server/web/webserver.h"
#include "support/systemwait.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QProcess>
#include <QSslSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

const QString Password = QStringLiteral("tea for two");

// One request on its own connection from `from`; what came back until the server closed.
QByteArray exchange(quint16 port, const QByteArray& request,
                    const QString& from = QStringLiteral("127.0.0.1"))
{
    QTcpSocket s;
    s.bind(QHostAddress(from), 0);
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000)) {
        return {};
    }
    s.write(request);
    QByteArray got;
    const QDeadlineTimer deadline(15000);
    while (s.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        s.waitForReadyRead(20);
        got += s.readAll();
        QCoreApplication::processEvents();
    }
    return got + s.readAll();
}

int status(const QByteArray& response)
{
    return response.mid(9, 3).toInt();
}

QByteArray header(const QByteArray& response, const QByteArray& name)
{
    for (const QByteArray& line : response.left(response.indexOf("\r\n\r\n")).split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':')) {
            return line.mid(name.size() + 1).trimmed();
        }
    }
    return {};
}

QByteArray loginRequest(const QByteArray& password)
{
    const QByteArray body = "password=" + password.toPercentEncoding();
    return "POST /login HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray get(const QByteArray& path, const QByteArray& cookie = {})
{
    QByteArray r = "GET " + path + " HTTP/1.1\r\nHost: x\r\n";
    if (!cookie.isEmpty()) {
        r += "Cookie: " + cookie + "\r\n";
    }
    return r + "\r\n";
}

} // namespace

class TstWebServer : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<LinkConsole> m_console;
    std::unique_ptr<WebServer> m_web;
    QString m_hash;
    int m_agents = 0;

    quint16 port() const { return m_web->serverPort(); }
    // A new workstation comes up on the console's link and is answered as always.
    bool agentIsServed()
    {
        FakeAgent a;
        const QString from = QStringLiteral("127.0.1.%1").arg(++m_agents);
        return a.connectFrom(from, m_console->port()) && a.waitFor(Proto::Lock + Proto::CName);
    }

private Q_SLOTS:
    void init();
    void cleanup();
    void hostileRequestsAreRefused_data();
    void hostileRequestsAreRefused();
    void connectionsAreCappedPerAddress();
    void wrongPasswordsAreThrottledAndSessionsExpire();
    void httpsOnlyWithACertificate();
};

void TstWebServer::init()
{
    Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(14, 0)));
    m_console = std::make_unique<LinkConsole>();
    m_hash = WebOptions::hashPassword(Password);
    WebServer::Pages pages;
    pages.overviewHtml = [] { return QByteArrayLiteral("<p id=\"billed\">12.50</p>"); };
    pages.overviewJson = [] { return QByteArrayLiteral("{\"billed\":\"12.50\"}"); };
    m_web = std::make_unique<WebServer>(
        pages, [this](const QString& p) { return WebOptions::matches(m_hash, p); });
    QCOMPARE(m_web->listen({QHostAddress::LocalHost}, 0), QString());
}

void TstWebServer::cleanup()
{
    m_web.reset();
    m_console.reset();
    Clock::reset();
}

void TstWebServer::hostileRequestsAreRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location");

    const auto row = [](const char* name, const QByteArray& request, int status,
                        const QByteArray& location = {}) {
        QTest::newRow(name) << request << status << location;
    };
    const QByteArray big(HttpWire::MaxHeaderBytes + 100, 'a');
    row("long header", get("/login").replace("Host: x", "X-Long: " + big), 431);
    // It names the stylesheet once its dots are resolved: it is refused, not resolved.
    row("dot segments encoded", get("/%2e%2e/%2E%2E/style.css"), 404);
    row("login body over 1 KiB", loginRequest(QByteArray(HttpWire::MaxBodyBytes, 'x')), 413);
    row("chunked body",
        QByteArray("POST /login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"),
        501);
    row("another method", get("/").replace("GET", "DELETE"), 405);
    row("not HTTP", QByteArray("HELLO\r\n\r\n"), 400);
    row("no session: page", get("/"), 303, "/login");
    row("no session: figures", get("/now.json"), 401);
    row("forged session", get("/now.json", "vkowner=00112233445566778899aabbccddeeff"), 401);
    row("login page", get("/login"), 200);
}

void TstWebServer::hostileRequestsAreRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    const QByteArray response = exchange(port(), request);
    QCOMPARE(::status(response), status);
    QCOMPARE(header(response, "Location"), location);
    QCOMPARE(header(response, "Content-Security-Policy"),
             QByteArray("default-src 'self'; frame-ancestors 'none'"));
    QCOMPARE(header(response, "X-Frame-Options"), QByteArray("DENY"));
    QCOMPARE(header(response, "X-Content-Type-Options"), QByteArray("nosniff"));
    QCOMPARE(header(response, "Referrer-Policy"), QByteArray("no-referrer"));
    QVERIFY(!response.contains("12.50"));
    QVERIFY(agentIsServed());
}

void TstWebServer::connectionsAreCappedPerAddress()
{
    // Silent connections that never finish a request, far more than one address may hold.
    std::vector<std::unique_ptr<FakeAgent>> idle;
    for (int i = 0; i < 3 * WebServer::MaxConnectionsPerAddress; ++i) {
        auto p = std::make_unique<FakeAgent>();
        QVERIFY(p->connectFrom(QStringLiteral("127.0.0.9"), port()));
        p->write("GET / HTTP/1.1\r\n");
        idle.push_back(std::move(p));
    }
    QTRY_COMPARE(m_web->connectionCount(), WebServer::MaxConnectionsPerAddress);
    int held = 0;
    for (const auto& p : idle) {
        p->closedByConsole(50);
        held += p->socket.state() == QAbstractSocket::ConnectedState ? 1 : 0;
    }
    QCOMPARE(held, WebServer::MaxConnectionsPerAddress);
    // Other addresses and the workstations are served meanwhile.
    QCOMPARE(status(exchange(port(), get("/login"), QStringLiteral("127.0.0.10"))), 200);
    QVERIFY(agentIsServed());
}

void TstWebServer::wrongPasswordsAreThrottledAndSessionsExpire()
{
    const QString guesser = QStringLiteral("127.0.0.20");
    for (int i = 0; i < PasswordThrottle::FreeAttempts; ++i) {
        QCOMPARE(status(exchange(port(), loginRequest("guess"), guesser)), 401);
    }
    // Shut out now, even with the right password; another address is not.
    const QByteArray shut = exchange(port(), loginRequest(Password.toUtf8()), guesser);
    QCOMPARE(status(shut), 429);
    QCOMPARE(header(shut, "Retry-After"), QByteArray::number(PasswordThrottle::FirstDelaySeconds));
    QVERIFY(header(shut, "Set-Cookie").isEmpty());
    QCOMPARE(status(exchange(port(), loginRequest("guess"), QStringLiteral("127.0.0.21"))), 401);
    QVERIFY(agentIsServed());

    Clock::advance(PasswordThrottle::FirstDelaySeconds);
    const QByteArray in = exchange(port(), loginRequest(Password.toUtf8()), guesser);
    QCOMPARE(status(in), 303);
    const QByteArray cookie = header(in, "Set-Cookie");
    QVERIFY2(cookie.contains("; HttpOnly") && cookie.contains("; SameSite=Strict") &&
                 !cookie.contains("Secure"),
             cookie.constData());
    const QByteArray session = cookie.left(cookie.indexOf(';'));
    QCOMPARE(session.size(), QByteArray("vkowner=").size() + 32);

    const QByteArray page = exchange(port(), get("/", session));
    QCOMPARE(status(page), 200);
    QCOMPARE(header(page, "Cache-Control"), QByteArray("no-store"));
    QVERIFY(page.endsWith("<p id=\"billed\">12.50</p>"));
    // Used within the idle time it lasts; left longer, it is gone.
    Clock::advance(WebServer::SessionIdleSeconds - 60);
    QCOMPARE(status(exchange(port(), get("/now.json", session))), 200);
    Clock::advance(WebServer::SessionIdleSeconds + 1);
    QCOMPARE(status(exchange(port(), get("/now.json", session))), 401);
    QCOMPARE(m_web->sessionCount(), 0);
}

void TstWebServer::httpsOnlyWithACertificate()
{
    const QString cert = m_console->home.file(QStringLiteral("cert.pem"));
    const QString key = m_console->home.file(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(
        QStringLiteral("openssl"),
        QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1").split(u' ')
            << QStringLiteral("-keyout") << key << QStringLiteral("-out") << cert);
    QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
    const QString settings = m_console->home.file(QStringLiteral("settings.ini"));
    WebOptions::Values v;
    v.enabled = true;
    v.port = SystemTest::freePort();
    v.addresses = {QStringLiteral("127.0.0.1")};
    v.certificateFile = cert;
    v.keyFile = key;
    QCOMPARE(WebOptions(settings).save(v), QString());
    WebOptions(settings).setPassword(Password);
    OwnerWeb web(m_console->db, 2, &m_console->server, settings);
    QCOMPARE(web.apply(), QStringLiteral("Owner's page at https://127.0.0.1:%1/").arg(v.port));

    // Plain HTTP gets no answer in plain text.
    QVERIFY(!exchange(v.port, get("/login")).startsWith("HTTP/"));
    QSslSocket tls;
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.connectToHostEncrypted(QStringLiteral("127.0.0.1"), v.port);
    // The server runs in this thread: every wait keeps the event loop going.
    QTRY_VERIFY_WITH_TIMEOUT(tls.isEncrypted(), 10000);
    tls.write(loginRequest(Password.toUtf8()));
    QByteArray in;
    QTRY_VERIFY_WITH_TIMEOUT((in += tls.readAll(), tls.state() != QAbstractSocket::ConnectedState),
                             10000);
    in += tls.readAll();
    QCOMPARE(status(in), 303);
    QVERIFY(header(in, "Set-Cookie").endsWith("; HttpOnly; SameSite=Strict; Secure"));
    QVERIFY(agentIsServed());
}

QTEST_GUILESS_MAIN(TstWebServer)
#include "tst_webserver.moc"
