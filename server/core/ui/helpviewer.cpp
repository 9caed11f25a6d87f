// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/helpviewer.h"

#include "platform/ui/urlopener.h"
#include "server/core/helpfile.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// A machine without a browser (a till often has none) still reads its help here.
QDialog* makeWindow(const QUrl& page, QWidget* parent)
{
    auto* w = new QDialog(parent);
    w->setObjectName(QStringLiteral("frmhelp"));
    w->setWindowTitle(QStringLiteral("Help"));
    w->setAttribute(Qt::WA_DeleteOnClose);
    auto* browser = new QTextBrowser(w);
    browser->setObjectName(QStringLiteral("txthelp"));
    // Pages of the help open here; addresses outside it go to whatever the desktop has.
    browser->setOpenExternalLinks(true);
    browser->setSource(page);
    auto* backward = new QPushButton(QStringLiteral("&Previous"), w);
    backward->setObjectName(QStringLiteral("cmdprevious"));
    backward->setEnabled(false);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), w);
    contents->setObjectName(QStringLiteral("cmdcontents"));
    auto* close = new QPushButton(QStringLiteral("&Close"), w);
    close->setObjectName(QStringLiteral("cmdclose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(backward);
    buttons->addWidget(contents);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(w);
    layout->addWidget(browser);
    layout->addLayout(buttons);
    QObject::connect(browser, &QTextBrowser::backwardAvailable, backward, &QPushButton::setEnabled);
    QObject::connect(backward, &QPushButton::clicked, browser, &QTextBrowser::backward);
    QObject::connect(contents, &QPushButton::clicked, browser, &QTextBrowser::home);
    QObject::connect(close, &QPushButton::clicked, w, &QDialog::close);
    w->resize(720, 560);
    return w;
}

} // namespace

bool HelpViewer::available()
{
    return !HelpFile::locate().isEmpty();
}

bool HelpViewer::show(QWidget* parent)
{
    const QString page = HelpFile::locate();
    if (page.isEmpty()) {
        return false;
    }
    return (UrlOpener::canShowPages() && UrlOpener::openUrl(QUrl::fromLocalFile(page))) ||
           showInOwnWindow(parent);
}

bool HelpViewer::showInOwnWindow(QWidget* parent)
{
    const QString page = HelpFile::locate();
    if (page.isEmpty()) {
        return false;
    }
    static QPointer<QDialog> shown;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        parent = modal;
    }
    if (shown && shown->parentWidget() != parent) {
        shown->close();
        shown = nullptr;
    }
    if (!shown) {
        shown = makeWindow(QUrl::fromLocalFile(page), parent);
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
    return true;
}
