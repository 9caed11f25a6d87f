// SPDX-License-Identifier: Apache-2.0
#include "server/link/ui/frmtools.h"

#include "common/prompt.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString trimLeft(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    return s.mid(i);
}

QString trimRight(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == QLatin1Char(' ')) {
        --n;
    }
    return s.left(n);
}

} // namespace

FrmTools::FrmTools(Database& db, QWidget* parent) : QDialog(parent), m_db(db), m_control(db)
{
    setObjectName(QStringLiteral("frmtools"));
    setWindowTitle(QStringLiteral("Tools"));
    setModal(true);

    auto* list = new QGroupBox(QStringLiteral("Terminals List"), this);
    m_grid = new QTableWidget(0, 2, list);
    m_grid->setObjectName(QStringLiteral("Grdonline"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("IP")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(0, 180);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->addWidget(m_grid);

    auto* option = new QGroupBox(QStringLiteral("Option"), this);
    auto* optionLayout = new QVBoxLayout(option);
    const struct
    {
        const char* name;
        const char* caption;
        RemoteControl::Command command;
    } buttons[] = {
        {"cmdlock", "&Lock", RemoteControl::Command::Lock},
        {"cmdunlock", "&UnLock", RemoteControl::Command::Unlock},
        {"cmdshutdown", "&Shutdown", RemoteControl::Command::Shutdown},
        {"cmdrestart", "&Restart", RemoteControl::Command::Restart},
    };
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.caption), option);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setAutoDefault(false);
        const RemoteControl::Command c = b.command;
        connect(button, &QPushButton::clicked, this, [this, c] { command(c); });
        optionLayout->addWidget(button);
    }
    optionLayout->addStretch();

    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("cmdclose"));
    back->setAutoDefault(false);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(list, 1);
    top->addWidget(option);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(back, 0, Qt::AlignRight);
    resize(520, 320);

    connect(&m_db, &Database::tableChanged, this, [this](const QString& table) {
        if (table == QLatin1String("online")) {
            refill();
        }
    });
    refill();
}

void FrmTools::refill()
{
    const int row = m_grid->currentRow();
    const QString chosen =
        row >= 0 && m_grid->item(row, 1) != nullptr ? m_grid->item(row, 1)->text() : QString();
    const QList<RemoteControl::Row> rows = m_control.rows();
    m_grid->setRowCount(int(rows.size()));
    int keep = rows.isEmpty() ? -1 : 0;
    for (int i = 0; i < rows.size(); ++i) {
        m_grid->setItem(i, 0, new QTableWidgetItem(rows.at(i).name));
        m_grid->setItem(i, 1, new QTableWidgetItem(rows.at(i).ip));
        if (!chosen.isEmpty() && rows.at(i).ip == chosen) {
            keep = i;
        }
    }
    if (keep >= 0) {
        m_grid->setCurrentCell(keep, 0);
    }
}

void FrmTools::command(RemoteControl::Command c)
{
    const int row = m_grid->currentRow();
    if (row < 0 || m_grid->item(row, 0) == nullptr || m_grid->item(row, 1) == nullptr) {
        return;
    }
    const QString ip = trimRight(m_grid->item(row, 1)->text());
    const QString name = trimLeft(m_grid->item(row, 0)->text());
    if (const QString why = m_control.refusal(ip, AgentLink::instance()); !why.isEmpty()) {
        Prompt::message(why, QStringLiteral("Message"), Prompt::Icon::Exclamation);
        return;
    }
    const Prompt::Answer a =
        Prompt::current().ask(RemoteControl::question(c, ip, name), QStringLiteral("Message"),
                              Prompt::Icon::Question, Prompt::Buttons::OkCancel);
    if (a != Prompt::Answer::Ok) {
        return;
    }
    // A workstation that has gone meanwhile is simply not reached; the operator is not told.
    m_control.send(c, ip, AgentLink::instance());
    if (RemoteControl::changesList(c)) {
        refill();
    }
}
