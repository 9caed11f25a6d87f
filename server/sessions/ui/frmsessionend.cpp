// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/frmsessionend.h"

#include "common/errorlog.h"
#include "common/prompt.h"
#include "platform/localemoney.h"
#include "server/accounts/ui/printing.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/jobworkstore.h"
#include "server/sessions/ui/frmjobworkdetails.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

int g_digits = -1;

int digitsNow()
{
    return g_digits >= 0 ? g_digits : LocaleMoney::currencyDigits();
}

bool isEnterOrTab(const QKeyEvent* k)
{
    return k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Tab;
}

} // namespace

void FrmSessionEnd::setCurrencyDigits(int digits)
{
    g_digits = digits;
}

FrmSessionEnd::FrmSessionEnd(Database& db, QWidget* parent)
    : QDialog(parent), m_db(db), m_form(db, digitsNow())
{
    setObjectName(QStringLiteral("frmsessionend"));
    setWindowTitle(QStringLiteral("End Session"));
    setModal(true);

    auto* sessionFrame = new QGroupBox(QStringLiteral("Session List"), this);
    m_terminal = new QComboBox(sessionFrame);
    m_terminal->setObjectName(QStringLiteral("cmbterminal"));
    m_terminal->setEditable(true);
    m_terminal->setInsertPolicy(QComboBox::NoInsert);
    auto* sessionForm = new QFormLayout(sessionFrame);
    sessionForm->addRow(QStringLiteral("Select &Termnal"), m_terminal);
    const char* captions[7] = {"Computer Name :", "IP Address :", "Usage Type :", "Member ID :", "",
                               "Session Time :",  "Amount :"};
    for (int i = 0; i < 7; ++i) {
        m_labels[i] = new QLabel(sessionFrame);
        m_labels[i]->setObjectName(QStringLiteral("lbl1(%1)").arg(i));
        // Names as the workstations reported them: shown literally, never as markup.
        m_labels[i]->setTextFormat(Qt::PlainText);
        sessionForm->addRow(QString::fromLatin1(captions[i]), m_labels[i]);
    }

    auto* billFrame = new QGroupBox(QStringLiteral("Bill Details"), this);
    m_billNo = new QLineEdit(billFrame);
    m_billNo->setObjectName(QStringLiteral("txtbillNo"));
    // The number is taken from the defaults row when the bill is saved; typing one here could
    // give two bills the same number.
    m_billNo->setReadOnly(true);
    m_print = new QCheckBox(QStringLiteral("&Print Bill"), billFrame);
    m_print->setObjectName(QStringLiteral("Chkprint"));
    auto box = [&](const char* name) {
        auto* e = new QLineEdit(QStringLiteral("0"), billFrame);
        e->setObjectName(QLatin1String(name));
        GridCellEditor::installNumericFilter(e);
        e->installEventFilter(this);
        return e;
    };
    m_amt = box("txtamt");
    m_oamt = box("txtoamt");
    m_ramt = box("txtramt");
    m_net = box("txtnetamt");
    m_jobWork = new QPushButton(QStringLiteral("&Jobwork Details"), billFrame);
    m_jobWork->setObjectName(QStringLiteral("cmdjobworkdetails"));
    // Enter on it while it has the focus presses it, not the window's main button.
    m_jobWork->setAutoDefault(true);
    auto* billForm = new QFormLayout(billFrame);
    billForm->addRow(QStringLiteral("Bill No :"), m_billNo);
    billForm->addRow(m_print);
    billForm->addRow(QStringLiteral("Amount"), m_amt);
    billForm->addRow(QStringLiteral("Other Amount"), m_oamt);
    billForm->addRow(QStringLiteral("Received Amt"), m_ramt);
    m_netByHand = new QLabel(SettlementForm::NetByHand, billFrame);
    m_netByHand->setObjectName(QStringLiteral("lblnetbyhand"));
    m_netByHand->hide();
    auto* netRow = new QHBoxLayout;
    netRow->addWidget(m_net);
    netRow->addWidget(m_netByHand);
    billForm->addRow(QStringLiteral("Total Amount"), netRow);
    m_balanceCaption = new QLabel(billFrame);
    m_balanceCaption->setObjectName(QStringLiteral("lblbalancecaption"));
    m_balance = new QLabel(billFrame);
    m_balance->setObjectName(QStringLiteral("lblbalance"));
    billForm->addRow(m_balanceCaption, m_balance);
    billForm->addRow(m_jobWork);

    auto* terminalFrame = new QGroupBox(QStringLiteral("Terminal"), this);
    m_lock = new QRadioButton(QStringLiteral("&Lock"), terminalFrame);
    m_lock->setObjectName(QStringLiteral("chklock"));
    m_lock->setChecked(true);
    m_shutdown = new QRadioButton(QStringLiteral("Shut &Down"), terminalFrame);
    m_shutdown->setObjectName(QStringLiteral("chkshutdown"));
    m_restart = new QRadioButton(QStringLiteral("&Restart"), terminalFrame);
    m_restart->setObjectName(QStringLiteral("chkrestart"));
    auto* terminalBox = new QHBoxLayout(terminalFrame);
    terminalBox->addWidget(m_lock);
    terminalBox->addWidget(m_shutdown);
    terminalBox->addWidget(m_restart);

    m_end = new QPushButton(QStringLiteral("&End Session"), this);
    m_end->setObjectName(QStringLiteral("cmdend"));
    m_end->setAutoDefault(false);
    m_end->setDefault(true);
    m_back = new QPushButton(QStringLiteral("&Back"), this);
    m_back->setObjectName(QStringLiteral("cmdback"));
    // Enter on it while it has the focus presses it, not the window's main button.
    m_back->setAutoDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_end);
    buttons->addWidget(m_back);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sessionFrame);
    layout->addWidget(billFrame);
    layout->addWidget(terminalFrame);
    layout->addLayout(buttons);

    m_form.open();
    reloadTerminals(QString());
    m_terminal->setEditText(QString());
    // Keys typed into the box reach the combo box first: it hands them to its line edit
    // directly, past any filter there.
    m_terminal->installEventFilter(this);
    m_terminal->lineEdit()->installEventFilter(this);
    showForm();

    connect(&m_db, &Database::tableChanged, this, &FrmSessionEnd::reloadTerminals);
    connect(m_terminal, &QComboBox::activated, this, &FrmSessionEnd::pickTerminal);
    for (QLineEdit* e : {m_amt, m_oamt, m_ramt, m_net}) {
        // Whatever changed the text (keys, a paste, a drop, undo), the form knows it at once:
        // the net follows the amounts without waiting for Enter.
        connect(e, &QLineEdit::textChanged, this, [this, e] { boxEdited(e); });
    }
    connect(m_print, &QCheckBox::toggled, this, [this](bool on) { m_form.setPrint(on); });
    connect(m_jobWork, &QPushButton::clicked, this, &FrmSessionEnd::jobWorkClicked);
    connect(m_end, &QPushButton::clicked, this, &FrmSessionEnd::endClicked);
    connect(m_back, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmSessionEnd::reloadTerminals(const QString& table)
{
    if (!table.isEmpty() && table != QLatin1String("terminals")) {
        return;
    }
    const QString keep = m_terminal->currentText();
    const QSignalBlocker block(m_terminal);
    m_terminal->clear();
    m_terminal->addItems(m_form.service().sessionNames());
    m_terminal->setEditText(keep);
}

void FrmSessionEnd::showForm()
{
    const QScopedValueRollback showing(m_showing, true);
    m_labels[0]->setText(m_form.computerName());
    m_labels[1]->setText(m_form.ipAddress());
    m_labels[2]->setText(m_form.usageType());
    m_labels[3]->setText(m_form.memberId());
    m_labels[4]->setText(m_form.autoLogoutNote());
    m_labels[5]->setText(m_form.sessionTime());
    m_labels[6]->setText(m_form.amountLabel());
    m_billNo->setText(m_form.billNo());
    {
        const QSignalBlocker block(m_print);
        m_print->setChecked(m_form.printChecked());
    }
    m_print->setEnabled(m_form.printEnabled());
    m_amt->setText(m_form.amount());
    m_oamt->setText(m_form.other());
    m_ramt->setText(m_form.received());
    m_net->setText(m_form.net());
    m_netByHand->setVisible(m_form.netByHand());
    showBalance();
    for (QLineEdit* e : {m_amt, m_oamt, m_ramt, m_net}) {
        e->setEnabled(m_form.amountsEnabled());
    }
    m_end->setEnabled(m_form.endEnabled());
    m_jobWork->setEnabled(m_form.jobWorkEnabled());
}

void FrmSessionEnd::boxEdited(QLineEdit* box)
{
    if (m_showing) {
        return;
    }
    if (box == m_amt) {
        m_form.setAmount(box->text());
    } else if (box == m_oamt) {
        m_form.setOther(box->text());
    } else if (box == m_ramt) {
        m_form.setReceived(box->text());
    } else {
        m_form.setNet(box->text());
    }
    const QScopedValueRollback showing(m_showing, true);
    if (box != m_net) {
        m_net->setText(m_form.net());
    }
    m_netByHand->setVisible(m_form.netByHand());
    showBalance();
}

void FrmSessionEnd::showBalance()
{
    const BillBalance b = m_form.balance();
    m_balanceCaption->setText(b.caption());
    m_balance->setText(m_form.text(b.amount));
}

void FrmSessionEnd::preselect(qint64 rowid)
{
    if (const auto row = m_form.service().sessionByRowid(rowid)) {
        m_terminal->setEditText(row->terminal);
        pickAndShow();
    }
}

void FrmSessionEnd::pickTerminal()
{
    const SettlementForm::Outcome out = m_form.pick(m_terminal->currentText());
    showForm();
    if (!out.message.isEmpty()) {
        apply(out, m_amt);
    }
}

void FrmSessionEnd::pickAndShow()
{
    pickTerminal();
    // Loaded without a word (a message has sent the focus to its box): the next Enter ends it,
    // after the cashier's Yes.
    const QWidget* at = focusWidget();
    if (m_form.hasSession() &&
        (at == nullptr || at == m_terminal || at == m_terminal->lineEdit())) {
        m_end->setFocus();
    }
}

void FrmSessionEnd::apply(const SettlementForm::Outcome& out, QWidget* box)
{
    showForm();
    if (!out.message.isEmpty()) {
        Prompt::message(out.message, QStringLiteral("Message"),
                        out.stopIcon ? Prompt::Icon::Critical : Prompt::Icon::Information);
    }
    switch (out.focus) {
    case SettlementForm::Focus::Stay:
        box->setFocus();
        break;
    case SettlementForm::Focus::Amount:
        m_amt->setFocus();
        break;
    case SettlementForm::Focus::Other:
        m_oamt->setFocus();
        break;
    case SettlementForm::Focus::Received:
        m_ramt->setFocus();
        break;
    case SettlementForm::Focus::Net:
        m_net->setFocus();
        break;
    case SettlementForm::Focus::EndButton:
        m_end->setFocus();
        break;
    case SettlementForm::Focus::Terminal:
        m_terminal->setFocus();
        break;
    }
}

bool FrmSessionEnd::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if ((watched == m_terminal || watched == m_terminal->lineEdit()) && isEnterOrTab(k)) {
            if (k->key() == Qt::Key_Tab) {
                pickTerminal();
                return false;
            }
            pickAndShow();
            return true;
        }
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        if (watched == m_amt && isEnterOrTab(k)) {
            apply(m_form.amountEntered(), m_amt);
            return true;
        }
        if (watched == m_oamt && isEnterOrTab(k)) {
            const auto out = m_form.otherEntered();
            apply(out, m_oamt);
            if (out.message.isEmpty() && k->key() == Qt::Key_Tab) {
                m_ramt->setFocus();
            }
            return true;
        }
        if (watched == m_ramt && isEnterOrTab(k)) {
            apply(m_form.receivedEntered(), m_ramt);
            return true;
        }
        if (watched == m_net && enter) {
            apply(m_form.netEntered(), m_net);
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && watched == m_ramt) {
        m_form.receivedLeft();
        const QScopedValueRollback showing(m_showing, true);
        m_ramt->setText(m_form.received());
    }
    return QDialog::eventFilter(watched, event);
}

void FrmSessionEnd::jobWorkClicked()
{
    FrmJobWorkDetails details(m_db, this);
    details.exec();
    m_form.jobWorkClosed(JobWorkStore(m_db).total());
    showForm();
}

void FrmSessionEnd::endClicked()
{
    if (m_terminal->currentText().isEmpty() || !m_form.hasSession()) {
        Prompt::message(QStringLiteral("Please select the Terminal First"),
                        QStringLiteral("Message"), Prompt::Icon::Question);
        m_terminal->setFocus();
        return;
    }
    if (m_terminal->currentText().trimmed() != m_form.session()->terminal.trimmed()) {
        // The box names another workstation than the one priced below it: price that one
        // first, so the cashier sees the session that would be billed before ending it.
        pickTerminal();
        return;
    }
    if (!Prompt::yesNo(QStringLiteral("DO YOU WANT TO END THE SESSION"), QStringLiteral("MESSAGE"),
                       Prompt::Icon::Question)) {
        return;
    }
    m_form.setAction(m_shutdown->isChecked()  ? CloseAction::Shutdown
                     : m_restart->isChecked() ? CloseAction::Restart
                                              : CloseAction::Lock);
    // Everything is committed before the preview waits for the cashier.
    const SettleResult result = m_form.settle();
    if (!result.ok) {
        Prompt::message(result.error, QStringLiteral("Message"), Prompt::Icon::Critical);
        showForm();
        return;
    }
    if (result.print) {
        PrintBill(m_db, result.billno, this);
    }
    AgentLink* link = AgentLink::instance();
    for (const AgentMessage& m : result.messages) {
        if (link == nullptr || !link->send(m.index, m.bytes)) {
            // The agent is gone: it is not ready either, until it connects again. The bill
            // stays as saved. Another desk's row is that desk's to clear: while it is down the
            // row shows its workstation as disconnected.
            ErrorLog::write(SessionService::EndLabel,
                            QStringLiteral("No connection with index %1").arg(m.index), 40006);
            if (m.index > 0 && (link == nullptr || link->carries(m.index)) &&
                m_db.run(QStringLiteral("DELETE FROM online WHERE id = ?"), {m.index},
                         SessionService::EndLabel)) {
                m_db.notifyChanged(QStringLiteral("online"));
            }
            break;
        }
    }
    accept();
}
