// SPDX-License-Identifier: Apache-2.0
#include "server/web/ownerweb.h"

#include "common/clock.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/weboptions.h"
#include "server/sessions/livesessions.h"
#include "server/web/ownerpages.h"
#include "server/web/webserver.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace {

// The certificate and key as a server configuration; null with the reason when unusable.
QSslConfiguration tlsFrom(const WebOptions::Values& v, QString& why)
{
    QFile cert(v.certificateFile);
    QFile key(v.keyFile);
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("the certificate or key file cannot be read");
        return {};
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(cert.readAll());
    const QByteArray keyData = key.readAll();
    QSslKey k(keyData, QSsl::Rsa);
    if (k.isNull()) {
        k = QSslKey(keyData, QSsl::Ec);
    }
    if (chain.isEmpty() || k.isNull()) {
        why = QStringLiteral("the certificate or key is not in PEM form");
        return {};
    }
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setLocalCertificateChain(chain);
    c.setPrivateKey(k);
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    return c;
}

} // namespace

OwnerWeb::OwnerWeb(Database& db, int currencyDigits, AgentLink* link, const QString& settingsFile,
                   QObject* parent)
    : QObject(parent), m_db(db), m_digits(currencyDigits), m_settingsFile(settingsFile),
      m_live(std::make_unique<LiveSessions>(db, currencyDigits, link))
{
}

OwnerWeb::~OwnerWeb() = default;

QString OwnerWeb::apply()
{
    m_server.reset();
    const WebOptions options(m_settingsFile);
    const WebOptions::Values v = options.values();
    if (!v.enabled) {
        return {};
    }
    if (v.addresses.isEmpty() || !v.hasPassword) {
        return QStringLiteral("Owner's page not started: no address or no password is set.");
    }
    QSslConfiguration tls;
    if (v.https()) {
        QString why;
        tls = tlsFrom(v, why);
        if (tls.isNull()) {
            return QStringLiteral("Owner's page not started: ") + why + QLatin1Char('.');
        }
    }
    const auto snapshot = [this] {
        return OwnerView::snapshot(m_db, *m_live, m_digits,
                                   ConsoleSettings(m_settingsFile).cafeName(), Clock::now());
    };
    WebServer::Pages pages;
    pages.overviewHtml = [snapshot] { return OwnerPages::overview(snapshot()); };
    pages.overviewJson = [snapshot] { return OwnerPages::json(snapshot()); };
    const QString file = m_settingsFile;
    m_server = std::make_unique<WebServer>(
        pages, [file](const QString& p) { return WebOptions(file).checkPassword(p); });
    m_server->setTls(tls);
    QList<QHostAddress> addresses;
    for (const QString& a : v.addresses) {
        addresses << QHostAddress(a);
    }
    const QString failed = m_server->listen(addresses, v.port);
    if (!failed.isEmpty()) {
        m_server.reset();
        return QStringLiteral("Owner's page not started: ") + failed;
    }
    return QStringLiteral("Owner's page at %1://%2:%3/")
        .arg(v.https() ? QStringLiteral("https") : QStringLiteral("http"), v.addresses.first())
        .arg(m_server->serverPort());
}
