// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmsessiontran.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/prompt.h"
#include "common/timesplit.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox* picker(const char* name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

} // namespace

FrmSessionTran::FrmSessionTran(Database& db, QWidget* parent)
    : QDialog(parent), m_db(db), m_service(db)
{
    setObjectName(QStringLiteral("frmsessiontran"));
    setWindowTitle(QStringLiteral("Transfer to another Terminal"));
    setModal(true);

    m_from = picker("cmbterminal", this);
    m_to = picker("cmbonline", this);
    auto* pickers = new QFormLayout;
    pickers->addRow(QStringLiteral("From Terminal"), m_from);
    pickers->addRow(QStringLiteral("To Terminal"), m_to);

    auto* status = new QGroupBox(QStringLiteral("Status"), this);
    auto* statusForm = new QFormLayout(status);
    const char* captions[5] = {
        "Source Terminal Name :", "Source Terminal IP :", "Destination Terminal Name :",
        "Destination Terminal IP :", "Time Spend :"};
    for (int i = 0; i < 5; ++i) {
        m_labels[i] = new QLabel(status);
        m_labels[i]->setObjectName(QStringLiteral("lbltype(%1)").arg(i));
        // Names as the workstations reported them: shown literally, never as markup.
        m_labels[i]->setTextFormat(Qt::PlainText);
        statusForm->addRow(QString::fromLatin1(captions[i]), m_labels[i]);
    }

    m_transfer = new QPushButton(QStringLiteral("&Transfer"), this);
    m_transfer->setObjectName(QStringLiteral("cmdtransfer"));
    m_transfer->setAutoDefault(false);
    m_transfer->setDefault(true);
    m_back = new QPushButton(QStringLiteral("&Back"), this);
    m_back->setObjectName(QStringLiteral("cmdback"));
    // Enter on it while it has the focus presses it, not the window's main button.
    m_back->setAutoDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_transfer);
    buttons->addWidget(m_back);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pickers);
    layout->addWidget(status);
    layout->addLayout(buttons);

    reloadLists(QString());
    m_from->setEditText(QString());
    m_to->setEditText(QString());
    // Keys typed into a box reach its combo box first: it hands them to the line edit
    // directly, past any filter there.
    for (QComboBox* c : {m_from, m_to}) {
        c->installEventFilter(this);
        c->lineEdit()->installEventFilter(this);
    }
    updateButton();

    connect(&m_db, &Database::tableChanged, this, &FrmSessionTran::reloadLists);
    connect(m_from, &QComboBox::activated, this, &FrmSessionTran::pickSource);
    connect(m_to, &QComboBox::activated, this, &FrmSessionTran::pickDestination);
    connect(m_from, &QComboBox::editTextChanged, this, &FrmSessionTran::updateButton);
    connect(m_to, &QComboBox::editTextChanged, this, &FrmSessionTran::updateButton);
    connect(m_transfer, &QPushButton::clicked, this, &FrmSessionTran::transferClicked);
    connect(m_back, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmSessionTran::reloadLists(const QString& table)
{
    auto fill = [](QComboBox* c, const QStringList& items) {
        const QString keep = c->currentText();
        const QSignalBlocker block(c);
        c->clear();
        c->addItems(items);
        c->setEditText(keep);
    };
    if (table.isEmpty() || table == QLatin1String("terminals")) {
        fill(m_from, m_service.sessionNames());
    }
    if (table.isEmpty() || table == QLatin1String("online")) {
        fill(m_to, m_service.onlineNames());
    }
}

bool FrmSessionTran::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) {
            const bool enter = key != Qt::Key_Tab;
            if (watched == m_from || watched == m_from->lineEdit()) {
                pickSource();
                if (enter && m_source) {
                    m_to->setFocus();
                }
            } else if (watched == m_to || watched == m_to->lineEdit()) {
                pickDestination();
                if (enter && m_transfer->isEnabled()) {
                    m_transfer->setFocus();
                }
            } else {
                return QDialog::eventFilter(watched, event);
            }
            // Enter is handled here alone, so the list does not pick a second time; the next
            // Enter transfers.
            return enter;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmSessionTran::preselect(qint64 rowid)
{
    if (const auto row = m_service.sessionByRowid(rowid)) {
        m_from->setEditText(row->terminal);
        pickSource();
        if (m_source) {
            m_to->setFocus();
        }
    }
}

void FrmSessionTran::updateButton()
{
    m_transfer->setEnabled(!m_from->currentText().isEmpty() && !m_to->currentText().isEmpty());
}

void FrmSessionTran::pickSource()
{
    m_source.reset();
    const QString text = m_from->currentText();
    if (!text.isEmpty()) {
        m_source = m_service.findSession(text);
        if (m_source && m_source->maintains) {
            m_source.reset();
            Prompt::message(QStringLiteral("Can't be Transfered while Maintain the Client"),
                            QStringLiteral("Message"), Prompt::Icon::Critical);
            m_from->setEditText(QString());
            m_from->setFocus();
        } else if (m_source) {
            m_labels[0]->setText(m_source->terminal.toUpper());
            m_labels[1]->setText(m_source->ip);
            m_labels[4]->setText(splittime(m_source->sstart, Clock::now()).labelText());
        }
    }
    updateButton();
}

void FrmSessionTran::pickDestination()
{
    const QString text = m_to->currentText();
    if (!text.isEmpty()) {
        if (const auto row = m_service.findOnline(text)) {
            m_labels[2]->setText(row->name.toUpper());
            m_labels[3]->setText(row->ip);
        }
    }
    updateButton();
}

void FrmSessionTran::transferClicked()
{
    if (m_from->currentText().isEmpty()) {
        Prompt::message(QStringLiteral("Select Working Terminal First"), QStringLiteral("Message"),
                        Prompt::Icon::Question);
        m_from->setFocus();
        return;
    }
    if (m_to->currentText().isEmpty()) {
        Prompt::message(QStringLiteral("Select Destination terminal to start"),
                        QStringLiteral("Message"), Prompt::Icon::Question);
        m_to->setFocus();
        return;
    }
    if (!Prompt::yesNo(QStringLiteral("Transfer ?"), QStringLiteral("Message"),
                       Prompt::Icon::Question)) {
        return;
    }
    const auto source = m_service.findSession(m_from->currentText());
    const TransferResult result =
        source ? m_service.transfer(source->rowid, m_to->currentText()) : TransferResult{};
    if (!result.ok) {
        Prompt::message(result.error.isEmpty() ? QStringLiteral("Select Working Terminal First")
                                               : result.error,
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return;
    }
    AgentLink* link = AgentLink::instance();
    for (const AgentMessage& m : result.messages) {
        if (link == nullptr || !link->send(m.index, m.bytes)) {
            // The tables already hold the transfer; the agent catches up when it reconnects.
            ErrorLog::write(SessionService::TransferLabel,
                            QStringLiteral("No connection with index %1").arg(m.index), 40006);
        }
    }
    accept();
}
