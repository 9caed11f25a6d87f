// SPDX-License-Identifier: Apache-2.0
#include "platform/ui/urlopener.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

// A handler for a private scheme stands in for the browser.
class TestUrlOpener : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void handle(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("vktest"), this, "handle");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("vktest")); }

    void addressGoesToItsHandlerAndEmptyOnesNowhere()
    {
        QVERIFY(!UrlOpener::openUrl(QString()));
        QVERIFY(!UrlOpener::openUrl(QStringLiteral("   ")));
        QVERIFY(m_opened.isEmpty());
        QVERIFY(UrlOpener::openUrl(QStringLiteral("  vktest://cafe/welcome?x=1 ")));
        QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("vktest://cafe/welcome?x=1"))});
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestUrlOpener)
#include "tst_urlopener.moc"
