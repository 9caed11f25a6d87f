// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/frmabout.h"

#include "common/prompt.h"
#include "server/core/consolecore.h"
#include "server/core/ui/helpviewer.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + ConsoleCore::AppTitle);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(ConsoleCore::AppTitle);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont f = title->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    auto* version = new QLabel(QStringLiteral("Version ") + QApplication::applicationVersion());
    version->setObjectName(QStringLiteral("lblVersion"));
    layout->addWidget(version);
    auto* description = new QLabel(QStringLiteral(
        "Times and bills the use of the cafe's workstations, keeps member accounts and "
        "prints bills and reports."));
    description->setObjectName(QStringLiteral("lblDescription"));
    description->setWordWrap(true);
    layout->addWidget(description);
    auto* licence = new QLabel(QStringLiteral(
        "Free software under the Apache License, Version 2.0, without warranty of any kind."));
    licence->setObjectName(QStringLiteral("lblLicence"));
    licence->setWordWrap(true);
    layout->addWidget(licence);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    // Help is an optional part of an installation: without it the button is there but idle.
    auto* help = new QPushButton(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("cmdHelp"));
    help->setEnabled(HelpViewer::available());
    connect(help, &QPushButton::clicked, this, [this] { HelpViewer::show(this); });
    buttons->addWidget(help);
    auto* sysInfo = new QPushButton(QStringLiteral("&System Info..."));
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    buttons->addWidget(sysInfo);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // This desktop offers no system information program to start.
    connect(sysInfo, &QPushButton::clicked, this, [] {
        Prompt::message(QStringLiteral("System Information Is Unavailable At This Time"));
    });
}
