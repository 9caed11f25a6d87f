// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmjobwork.h"

#include "common/prompt.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/jobworkstore.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

FrmJobWork::FrmJobWork(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmjobwork"));
    setWindowTitle(QStringLiteral("Jobwork Details"));
    setModal(true);

    m_grid = new QTableWidget(0, 2, this);
    m_grid->setObjectName(QStringLiteral("grdjobwork"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("Type") + QString(85, QLatin1Char(' ')), QStringLiteral("Amount       ")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_editor = new GridCellEditor(m_grid, this);
    m_editor->setColumnEditable(0);
    m_editor->setNumericColumn(1);

    auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* add = button(QStringLiteral("&New"), "cmdadd");
    QPushButton* del = button(QStringLiteral("&Delete"), "cmddelete");
    QPushButton* save = button(QStringLiteral("&Save"), "cmdsave");
    QPushButton* back = button(QStringLiteral("&Back"), "cmdback");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {add, del, save, back}) {
        buttons->addWidget(b);
    }
    // An empty list gives no clue that its cells take typing.
    m_hint = new QLabel(QStringLiteral("No jobwork yet. Type a name under Type and its price "
                                       "under Amount, press New for another line, then Save."),
                        this);
    m_hint->setObjectName(QStringLiteral("lblhint"));
    m_hint->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_hint);
    layout->addWidget(m_grid);
    layout->addLayout(buttons);
    resize(560, 360);

    load();
    connect(add, &QPushButton::clicked, this, &FrmJobWork::newClicked);
    connect(del, &QPushButton::clicked, this, &FrmJobWork::deleteClicked);
    connect(save, &QPushButton::clicked, this, &FrmJobWork::saveClicked);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
}

FrmJobWork::~FrmJobWork()
{
    // The editor goes first: its box would otherwise report to it while the grid is
    // half destroyed.
    delete m_editor;
}

void FrmJobWork::load()
{
    const auto items = JobWorkStore(m_db).catalogue();
    m_grid->setRowCount(0);
    for (const auto& item : items) {
        const int r = m_grid->rowCount();
        m_grid->insertRow(r);
        m_grid->setItem(r, 0, new QTableWidgetItem(item.type));
        m_grid->setItem(r, 1, new QTableWidgetItem(item.amount.toString()));
    }
    m_hint->setVisible(items.isEmpty());
    if (m_grid->rowCount() == 0) {
        m_grid->setRowCount(1);
    }
    m_grid->setCurrentCell(0, 0);
}

void FrmJobWork::newClicked()
{
    m_editor->commit();
    if (!Prompt::yesNo(QStringLiteral("Do you want to Add New Jobwork Details"),
                       Prompt::defaultTitle(), Prompt::Icon::Question)) {
        return;
    }
    const int r = m_grid->rowCount();
    m_grid->insertRow(r);
    m_grid->setCurrentCell(r, 0);
    m_grid->setFocus();
}

void FrmJobWork::deleteClicked()
{
    m_editor->commit();
    const int r = m_grid->currentRow();
    if (m_grid->rowCount() <= 1 || r < 0) {
        return;
    }
    const QTableWidgetItem* type = m_grid->item(r, 0);
    if (!Prompt::yesNo(QStringLiteral("Do you want to Delete jobwork  : ") +
                           (type ? type->text() : QString()),
                       Prompt::defaultTitle(), Prompt::Icon::Question)) {
        return;
    }
    m_grid->removeRow(r);
}

void FrmJobWork::saveClicked()
{
    m_editor->commit();
    if (!Prompt::yesNo(QStringLiteral("Do you want to Save Jobwork Details"),
                       Prompt::defaultTitle(), Prompt::Icon::Question)) {
        return;
    }
    QList<JobWorkStore::CatalogueRow> rows;
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        const QTableWidgetItem* type = m_grid->item(r, 0);
        const QTableWidgetItem* amount = m_grid->item(r, 1);
        rows.append({type ? type->text() : QString(), amount ? amount->text() : QString()});
    }
    if (!JobWorkStore(m_db).saveCatalogue(rows)) {
        Prompt::message(QStringLiteral("The job-work list could not be saved."),
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return;
    }
    load();
}
